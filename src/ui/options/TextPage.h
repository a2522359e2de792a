#pragma once

#include <QWidget>

struct Settings;
class ListEditor;
class TitleRuleEditor;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QPushButton;

/// "文本选项": how titles are found and how the chapters are written out.
class TextPage : public QWidget {
    Q_OBJECT

public:
    TextPage(const Settings& settings, QWidget* dialog);

    void load(const Settings& s);
    /// Copies the controls into `s` (the lists through their editors' rules).
    void apply(Settings& s);
    /// The state every opening starts from.
    void activate();
    TitleRuleEditor* rules() const { return m_rules; }

signals:
    void changed();    ///< an edit that makes the dialog's settings differ
    void listEdited(); ///< an entry added, removed or edited in one of the lists

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void btnPathEdit_Click();
    void btnPathSub_Click();
    void btnFilterAdd_Click();
    void btnFilterEdit_Click();
    void btnFilterSub_Click();
    void btnFileAdd_Click();
    void btnFileSub_Click();
    void chkSetInvalidTitle_Click();
    void repairNumberBox(QLineEdit* box);

    QWidget* m_dialog;
    TitleRuleEditor* m_rules;
    ListEditor* m_paths;
    ListEditor* m_filters;
    ListEditor* m_files;

    QGroupBox* grpText;
    QComboBox* cmbOutPaths;
    QPushButton* btnPathSub;
    QPushButton* btnPathEdit;
    QListWidget* lstFilters;
    QPushButton* btnFilterAdd;
    QPushButton* btnFilterSub;
    QPushButton* btnFilterEdit;
    QComboBox* cmbFileNames;
    QPushButton* btnFileAdd;
    QPushButton* btnFileSub;
    QLineEdit* txtChapsInFile;
    QLineEdit* txtFilesInDir;
    QCheckBox* chkFolderPerVolume;

    QGroupBox* grpOther;
    QCheckBox* chkDelSpaceLine;
    QCheckBox* chkConvertToSimple;
    QCheckBox* chkSetInvalidTitle;
    QLineEdit* txtInvalidLines;
    QComboBox* cmbFilterAfterLine;
};
