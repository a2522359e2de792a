#include "FavoritePage.h"

#include "OptionsWidgets.h"
#include "WindowStyle.h"
#include "cCommonDialog.h"

#include "config/ConfigFile.h"
#include "config/Settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

void showColor(QLineEdit* box, QLabel* swatch, qint32 color) {
    const QColor background = ColorFromNumber(color);
    QPalette palette = box->palette();
    palette.setColor(QPalette::Base, background);
    // The text stays readable on a dark colour.
    palette.setColor(QPalette::Text, background.lightness() < 128 ? Qt::white : Qt::black);
    box->setPalette(palette);
    // A style may paint the box its own way; the swatch beside it always shows the colour.
    QPalette sample = swatch->palette();
    sample.setColor(QPalette::Window, background);
    swatch->setPalette(sample);
}

} // namespace

FavoritePage::FavoritePage(QWidget* dialog) : m_dialog(dialog) {
    grpFavorite = new QGroupBox(QStringLiteral(u"偏好设置(&F)"), this);
    grpFavorite->setObjectName(QStringLiteral("grpFavorite"));

    auto check = [this](const char16_t* text, const char* name) {
        auto* box = new QCheckBox(QString::fromUtf16(text), grpFavorite);
        box->setObjectName(QLatin1String(name));
        return box;
    };
    chkAutoAnalyze = check(u"打开文件后自动分析(&D)", "chkAutoAnalyze"); // Alt+A is 应用
    chkMiniToTray = check(u"最小化到托盘区(&T)", "chkMiniToTray");
    chkShowBalloon = check(u"隐藏主界面时用托盘气泡提示(&B)", "chkShowBalloon");
    chkAutoOpenNotepad = check(u"复制到剪贴板后自动打开记事本(&N)", "chkAutoOpenNotepad");
    chkTopMost = check(u"窗口置顶(&P)", "chkTopMost");
    chkLogPosition = check(u"记录窗口位置大小(&L)", "chkLogPosition");
    // Alt+P belongs to 窗口置顶.
    chkAppendText = check(u"重名文件不替换直接添加到文件尾(&W)", "chkAppendText");
    chkAutoTidy = check(u"分析后自动整理(&Z)", "chkAutoTidy");
    chkAutoTidy->setToolTip(QStringLiteral(u"每次分析后按章节编号整理标题（标题 → 按编号整理）"));

    auto* layout = new QVBoxLayout(grpFavorite);
    layout->setContentsMargins(10, 8, 10, 10);
    layout->setSpacing(7);
    for (QCheckBox* box : {chkAutoAnalyze, chkMiniToTray, chkShowBalloon, chkAutoOpenNotepad, chkTopMost,
                           chkLogPosition, chkAppendText, chkAutoTidy}) {
        layout->addWidget(box);
    }
    layout->addSpacing(6);

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(6);
    const char16_t* colorLabels[2] = {u"列表框背景色：", u"突出项背景色："};
    for (int i = 0; i < 2; ++i) {
        txtColor[i] = new QLineEdit(grpFavorite);
        txtColor[i]->setObjectName(QStringLiteral("txtColor_%1").arg(i));
        txtColor[i]->setFixedWidth(120);
        txtColor[i]->installEventFilter(this);
        picColor[i] = new QLabel(grpFavorite);
        picColor[i]->setObjectName(QStringLiteral("picColor_%1").arg(i));
        picColor[i]->setFixedSize(32, txtColor[i]->sizeHint().height() - 4);
        picColor[i]->setAutoFillBackground(true);
        picColor[i]->setFrameShape(QFrame::Box);
        btnColor[i] =
            options::smallButton(QStringLiteral(u"…"), QStringLiteral("btnColor_%1").arg(i), grpFavorite);
        grid->addWidget(options::label(QString::fromUtf16(colorLabels[i]), grpFavorite), i, 0);
        grid->addWidget(txtColor[i], i, 1);
        grid->addWidget(picColor[i], i, 2);
        grid->addWidget(btnColor[i], i, 3);
        connect(btnColor[i], &QPushButton::clicked, this, [this, i] { btnColor_Click(i); });
    }
    cmbFonts = new QComboBox(grpFavorite);
    cmbFonts->setObjectName(QStringLiteral("cmbFonts"));
    cmbFonts->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cmbFonts->setMinimumContentsLength(16);
    cmbFonts->setMaxVisibleItems(16);
    grid->addWidget(options::label(QStringLiteral(u"字 体："), grpFavorite), 2, 0);
    grid->addWidget(cmbFonts, 2, 1, 1, 3);
    grid->setColumnStretch(4, 1);
    layout->addLayout(grid);

    lblVellomar =
        new QLabel(QStringLiteral(u"维洛玛 Vellomar —— 墨川 作品。欢迎把意见和建议告诉我们。"), this);
    lblVellomar->setObjectName(QStringLiteral("lblVellomar"));
    lblVellomar->setWordWrap(true);
    lblVellomar->setEnabled(false);

    auto* pageLayout = new QVBoxLayout(this);
    pageLayout->setContentsMargins(6, 6, 6, 6);
    pageLayout->addWidget(grpFavorite);
    pageLayout->addStretch();
    pageLayout->addWidget(lblVellomar);
}

void FavoritePage::load(const Settings& s) {
    chkAutoAnalyze->setChecked(s.AutoAnalyze);
    chkMiniToTray->setChecked(s.MiniToTray);
    chkShowBalloon->setChecked(s.ShowBalloonTip);
    chkAutoOpenNotepad->setChecked(s.AutoOpenNotepad);
    chkTopMost->setChecked(s.TopMost);
    chkLogPosition->setChecked(s.LogPosition);
    chkAppendText->setChecked(s.AppendText);
    chkAutoTidy->setChecked(s.AutoTidy);

    const qint32 colors[2] = {s.ListBackColor, s.ItemBackColor};
    for (int i = 0; i < 2; ++i) {
        txtColor[i]->setText(FormatColor(colors[i]));
        showColor(txtColor[i], picColor[i], colors[i]);
    }

    // Vertical-writing faces ("@" names) are left out.
    const QStringList families = QFontDatabase::families();
    for (const QString& family : families) {
        if (!family.isEmpty() && !family.contains(QLatin1Char('@'))) {
            cmbFonts->addItem(family);
        }
    }
    int font = cmbFonts->findText(s.FontName, Qt::MatchFixedString | Qt::MatchCaseSensitive);
    if (font < 0) {
        font = cmbFonts->findText(QStringLiteral("Tahoma"), Qt::MatchFixedString | Qt::MatchCaseSensitive);
    }
    if (font < 0) {
        font = cmbFonts->findText(QFontDatabase::systemFont(QFontDatabase::GeneralFont).family());
    }
    if (font < 0 && cmbFonts->count() > 0) {
        font = 0;
    }
    cmbFonts->setCurrentIndex(font);

    for (QCheckBox* box : {chkAutoAnalyze, chkMiniToTray, chkShowBalloon, chkAutoOpenNotepad, chkTopMost,
                           chkLogPosition, chkAppendText, chkAutoTidy}) {
        connect(box, &QCheckBox::clicked, this, &FavoritePage::changed);
    }
    connect(cmbFonts, &QComboBox::activated, this, &FavoritePage::changed);
    for (QLineEdit* box : txtColor) {
        connect(box, &QLineEdit::textChanged, this, &FavoritePage::changed);
    }
}

void FavoritePage::apply(Settings& s) {
    s.AutoAnalyze = chkAutoAnalyze->isChecked();
    s.AppendText = chkAppendText->isChecked();
    s.MiniToTray = chkMiniToTray->isChecked();
    s.ShowBalloonTip = chkShowBalloon->isChecked();
    s.AutoOpenNotepad = chkAutoOpenNotepad->isChecked();
    s.TopMost = chkTopMost->isChecked();
    s.LogPosition = chkLogPosition->isChecked();
    s.AutoTidy = chkAutoTidy->isChecked();
    s.ListBackColor = ParseColor(txtColor[0]->text());
    s.ItemBackColor = ParseColor(txtColor[1]->text());
    if (cmbFonts->currentIndex() >= 0) {
        s.FontName = cmbFonts->currentText();
    }
}

bool FavoritePage::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut) {
        for (int i = 0; i < 2; ++i) {
            if (watched == txtColor[i]) {
                txtColor_LostFocus(i);
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void FavoritePage::txtColor_LostFocus(int index) {
    showColor(txtColor[index], picColor[index], ParseColor(txtColor[index]->text()));
}

void FavoritePage::btnColor_Click(int index) {
    const qint32 color = cCommonDialog().sShowColor(m_dialog, ParseColor(txtColor[index]->text()));
    if (color == -1) {
        return;
    }
    showColor(txtColor[index], picColor[index], color);
    txtColor[index]->setText(FormatColor(color));
    emit changed();
}
