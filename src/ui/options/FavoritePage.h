#pragma once

#include <QWidget>

struct Settings;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

/// "偏好设置": how the program behaves and looks.
class FavoritePage : public QWidget {
    Q_OBJECT

public:
    explicit FavoritePage(QWidget* dialog);

    /// Fills the controls; called once, after which edits are reported by `changed()`.
    void load(const Settings& s);
    void apply(Settings& s);

signals:
    void changed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void btnColor_Click(int index);
    void txtColor_LostFocus(int index);

    QWidget* m_dialog;
    QGroupBox* grpFavorite;
    QCheckBox* chkAutoAnalyze;
    QCheckBox* chkMiniToTray;
    QCheckBox* chkShowBalloon;
    QCheckBox* chkAutoOpenNotepad;
    QCheckBox* chkTopMost;
    QCheckBox* chkLogPosition;
    QCheckBox* chkAppendText;
    QCheckBox* chkAutoTidy;
    QLineEdit* txtColor[2];
    QLabel* picColor[2]; // a swatch of the colour beside its value
    QPushButton* btnColor[2];
    QComboBox* cmbFonts;
    QLabel* lblVellomar;
};
