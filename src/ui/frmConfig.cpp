#include "frmConfig.h"

#include "ErrorHook.h"
#include "Prompts.h"
#include "WindowStyle.h"
#include "cCommonDialog.h"

#include "config/ConfigFile.h"
#include "config/Settings.h"
#include "core/cRegExp.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSaveFile>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const QString CrLf = QStringLiteral("\r\n");

// 6630 x 7500 twips at 15 twips to the pixel, and two rows more for the title rules.
constexpr int DialogWidth = 442;
constexpr int DialogHeight = 560;

const QString RuleFilter = QStringLiteral(u"规则文件 (*.json)|*.json|所有文件|*.*");
const QString CustomRule = QStringLiteral(u"（自定义）");
const QColor GoodNote(0x1B, 0x6E, 0x20);
const QColor BadNote(0xB7, 0x1C, 0x1C);

// The entry the user sees as chosen: an editable list whose text was typed over has none.
int shownIndex(const QComboBox* combo) {
    const int k = combo->currentIndex();
    return k >= 0 && combo->itemText(k) == combo->currentText() ? k : -1;
}

// Rules passed around without a name are known by their pattern.
QString ruleName(const TitleRule& rule) {
    return rule.name.isEmpty() ? rule.rule : rule.name;
}

int findExact(const QComboBox* combo, const QString& text) {
    for (int i = 0; i < combo->count(); ++i) {
        if (combo->itemText(i) == text)
            return i;
    }
    return -1;
}

QPushButton* smallButton(const QString& text, const QString& name, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setFixedWidth(28);
    button->setAutoDefault(false);
    return button;
}

QLineEdit* numberBox(const QString& name, QWidget* parent) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(name);
    box->setFixedWidth(56);
    // Only the digits 0-9 get in, whether typed, pasted or dropped.
    box->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), box));
    return box;
}

QComboBox* listCombo(const QString& name, QWidget* parent) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(name);
    combo->setEditable(true);
    // Entries are added by the buttons and by Apply only; completion would change what the
    // user typed, and a typed folder is matched exactly against the entries.
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setCompleter(nullptr);
    combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    combo->setMinimumContentsLength(10);
    return combo;
}

// Writes one of the two single-choice lists back into the settings. Returns the list text,
// which begins with CR LF and has every entry followed by CR LF.
QString applyList(QComboBox* combo, const QString& current, const QString& builtIn, qint16& selection,
                  QString& value) {
    QString list = CrLf;
    int selected = -1;
    const QString typed = combo->currentText();
    for (int i = 0; i < combo->count(); ++i) {
        list += combo->itemText(i) + CrLf;
        if (combo->itemText(i) == typed)
            selected = i;
    }
    if (combo->count() == 0) {
        // A list emptied by the user gets its first entry back, so that the setting always
        // names something usable; the built-in one when the setting had none either.
        QString first = splitList(current).value(0);
        if (first.isEmpty())
            first = splitList(builtIn).value(0);
        combo->addItem(first);
        combo->setCurrentIndex(0);
        selected = 0;
    } else if (selected == -1 && typed.isEmpty()) {
        // An emptied field would make every output name (or the output folder) empty: keep
        // the entry that was chosen instead.
        selected = qMax(combo->currentIndex(), 0);
        combo->setCurrentIndex(selected);
        combo->setEditText(combo->itemText(selected));
    } else if (selected == -1) {
        combo->addItem(typed);
        selected = combo->count() - 1;
        combo->setCurrentIndex(selected);
    }
    const QString chosen = combo->currentText();
    if (!list.contains(CrLf + chosen + CrLf))
        list += chosen + CrLf;
    selection = qint16(selected);
    value = chosen;
    return list;
}

void showColor(QLineEdit* box, qint32 color) {
    const QColor background = ColorFromNumber(color);
    QPalette palette = box->palette();
    palette.setColor(QPalette::Base, background);
    // The text stays readable on a dark colour.
    palette.setColor(QPalette::Text, background.lightness() < 128 ? Qt::white : Qt::black);
    box->setPalette(palette);
}

} // namespace

frmConfig::frmConfig(Settings& settings, const QString& configPath, QWidget* owner)
    : QDialog(owner), m_settings(settings), m_configPath(configPath) {
    setObjectName(QStringLiteral("frmConfig"));
    setWindowTitle(QStringLiteral(u"选项..."));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(DialogWidth, DialogHeight);

    tabConfig = new QTabWidget(this);
    tabConfig->setObjectName(QStringLiteral("tabConfig"));
    for (int i = 0; i < 2; ++i) {
        picTabs[i] = new QWidget;
        picTabs[i]->setObjectName(QStringLiteral("picTabs_%1").arg(i));
    }
    tabConfig->addTab(picTabs[0], QStringLiteral(u"文本选项"));
    tabConfig->addTab(picTabs[1], QStringLiteral(u"偏好设置"));
    tabConfig->tabBar()->setTabData(0, QStringLiteral("text"));
    tabConfig->tabBar()->setTabData(1, QStringLiteral("favorite"));
    buildPageText(picTabs[0]);
    buildPageFavorite(picTabs[1]);

    btnOK = new QPushButton(QStringLiteral(u"确定(&O)"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral(u"取消(&C)"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setAutoDefault(false);
    btnApply = new QPushButton(QStringLiteral(u"应用(&A)"), this);
    btnApply->setObjectName(QStringLiteral("btnApply"));
    btnApply->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    buttons->addWidget(btnApply);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(8);
    layout->addWidget(tabConfig);
    layout->addLayout(buttons);

    connect(tabConfig, &QTabWidget::tabBarClicked, this, [this](int index) {
        if (index >= 0)
            ShowPage(index + 1);
    });
    connect(btnOK, &QPushButton::clicked, this, &frmConfig::btnOK_Click);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnApply, &QPushButton::clicked, this, &frmConfig::btnApply_Click);
    connect(btnPathEdit, &QPushButton::clicked, this, &frmConfig::btnPathEdit_Click);
    connect(btnPathSub, &QPushButton::clicked, this, &frmConfig::btnPathSub_Click);
    connect(btnFilterAdd, &QPushButton::clicked, this, &frmConfig::btnFilterAdd_Click);
    connect(btnFilterEdit, &QPushButton::clicked, this, &frmConfig::btnFilterEdit_Click);
    connect(btnFilterSub, &QPushButton::clicked, this, &frmConfig::btnFilterSub_Click);
    connect(btnFileAdd, &QPushButton::clicked, this, &frmConfig::btnFileAdd_Click);
    connect(btnFileSub, &QPushButton::clicked, this, &frmConfig::btnFileSub_Click);
    for (int i = 0; i < 2; ++i)
        connect(btnColor[i], &QPushButton::clicked, this, [this, i] { btnColor_Click(i); });
    connect(txtTitle, &QLineEdit::textChanged, this, &frmConfig::updateTitleTest);
    connect(txtTitleTest, &QLineEdit::textChanged, this, &frmConfig::updateTitleTest);
    connect(txtTitle, &QLineEdit::textChanged, this, &frmConfig::syncTitleRule);
    connect(cmbTitleRules, &QComboBox::activated, this, &frmConfig::cmbTitleRules_Click);
    connect(btnImportRules, &QPushButton::clicked, this, &frmConfig::btnImportRules_Click);
    connect(btnExportRules, &QPushButton::clicked, this, &frmConfig::btnExportRules_Click);
    connect(btnSuggestRule, &QPushButton::clicked, this, &frmConfig::btnSuggestRule_Click);
    setRuleTrial(nullptr);
    for (QLineEdit* box : {txtChapsInFile, txtFilesInDir, txtInvalidLines, txtColor[0], txtColor[1]})
        box->installEventFilter(this);

    Form_Load();
    connectChangeTracking();
}

QLabel* frmConfig::newLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QStringLiteral("lbl_%1").arg(m_labelCount++));
    return label;
}

void frmConfig::buildPageText(QWidget* page) {
    grpText = new QGroupBox(QStringLiteral(u"文本选项(&T)"), page);
    grpText->setObjectName(QStringLiteral("grpText"));

    txtTitle = new QLineEdit(grpText);
    txtTitle->setObjectName(QStringLiteral("txtTitle"));
    cmbTitleRules = new QComboBox(grpText);
    cmbTitleRules->setObjectName(QStringLiteral("cmbTitleRules"));
    // Long imported names must not widen the dialog; the list itself shows them whole.
    cmbTitleRules->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cmbTitleRules->setMinimumContentsLength(10);
    // A list of dozens of rules scrolls instead of covering the screen.
    cmbTitleRules->setStyleSheet(QStringLiteral("QComboBox { combobox-popup: 0; }"));
    cmbTitleRules->setMaxVisibleItems(16);
    cmbTitleRules->view()->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    auto textButton = [grpText = grpText](const QString& text, const QString& name) {
        auto* button = new QPushButton(text, grpText);
        button->setObjectName(name);
        button->setAutoDefault(false);
        return button;
    };
    btnSuggestRule = textButton(QStringLiteral(u"推荐规则"), QStringLiteral("btnSuggestRule"));
    btnImportRules = textButton(QStringLiteral(u"导入规则..."), QStringLiteral("btnImportRules"));
    btnImportRules->setToolTip(QStringLiteral(u"从 JSON 规则列表添加规则"));
    btnExportRules = textButton(QStringLiteral(u"导出规则..."), QStringLiteral("btnExportRules"));
    btnExportRules->setToolTip(QStringLiteral(u"把列表中的全部规则存为 JSON 文件"));
    txtTitleTest = new QLineEdit(grpText);
    txtTitleTest->setObjectName(QStringLiteral("txtTitleTest"));
    txtTitleTest->setPlaceholderText(QStringLiteral(u"在此输入一行文字，看它是否算作章节标题"));
    lblTitleTest = new QLabel(grpText);
    lblTitleTest->setObjectName(QStringLiteral("lblTitleTest"));
    lblTitleTest->setTextFormat(Qt::PlainText);
    lblTitleTest->setMinimumHeight(lblTitleTest->fontMetrics().height());

    cmbOutPaths = listCombo(QStringLiteral("cmbOutPaths"), grpText);
    btnPathSub = smallButton(QStringLiteral(u"－"), QStringLiteral("btnPathSub"), grpText);
    btnPathEdit = smallButton(QStringLiteral(u"…"), QStringLiteral("btnPathEdit"), grpText);

    lstFilters = new QListWidget(grpText);
    lstFilters->setObjectName(QStringLiteral("lstFilters"));
    lstFilters->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lstFilters->setFixedHeight(72);
    btnFilterAdd = smallButton(QStringLiteral(u"＋"), QStringLiteral("btnFilterAdd"), grpText);
    btnFilterSub = smallButton(QStringLiteral(u"－"), QStringLiteral("btnFilterSub"), grpText);
    btnFilterEdit = smallButton(QStringLiteral(u"…"), QStringLiteral("btnFilterEdit"), grpText);

    cmbFileNames = listCombo(QStringLiteral("cmbFileNames"), grpText);
    btnFileAdd = smallButton(QStringLiteral(u"＋"), QStringLiteral("btnFileAdd"), grpText);
    btnFileSub = smallButton(QStringLiteral(u"－"), QStringLiteral("btnFileSub"), grpText);

    txtChapsInFile = numberBox(QStringLiteral("txtChapsInFile"), grpText);
    txtFilesInDir = numberBox(QStringLiteral("txtFilesInDir"), grpText);

    auto* grid = new QGridLayout(grpText);
    grid->setContentsMargins(8, 6, 8, 8);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(5);
    grid->setColumnStretch(1, 1);
    int row = 0;
    grid->addWidget(newLabel(QStringLiteral(u"章节标题："), grpText), row, 0);
    grid->addWidget(txtTitle, row++, 1, 1, 2);
    auto* ruleChoice = new QHBoxLayout;
    ruleChoice->setSpacing(6);
    ruleChoice->addWidget(cmbTitleRules, 1);
    ruleChoice->addWidget(btnSuggestRule);
    grid->addWidget(newLabel(QStringLiteral(u"标题规则："), grpText), row, 0);
    grid->addLayout(ruleChoice, row++, 1, 1, 2);
    auto* ruleFiles = new QHBoxLayout;
    ruleFiles->setSpacing(6);
    ruleFiles->addStretch();
    ruleFiles->addWidget(btnImportRules);
    ruleFiles->addWidget(btnExportRules);
    grid->addLayout(ruleFiles, row++, 1, 1, 2);
    grid->addWidget(txtTitleTest, row++, 1, 1, 2);
    grid->addWidget(lblTitleTest, row++, 1, 1, 2);

    auto* pathButtons = new QHBoxLayout;
    pathButtons->setSpacing(2);
    pathButtons->addWidget(btnPathSub);
    pathButtons->addWidget(btnPathEdit);
    grid->addWidget(newLabel(QStringLiteral(u"输出目录："), grpText), row, 0);
    grid->addWidget(cmbOutPaths, row, 1);
    grid->addLayout(pathButtons, row++, 2);

    auto* filterButtons = new QVBoxLayout;
    filterButtons->setSpacing(2);
    filterButtons->addWidget(btnFilterAdd);
    filterButtons->addWidget(btnFilterSub);
    filterButtons->addWidget(btnFilterEdit);
    filterButtons->addStretch();
    grid->addWidget(newLabel(QStringLiteral(u"字符过滤："), grpText), row, 0, Qt::AlignTop);
    grid->addWidget(lstFilters, row, 1);
    grid->addLayout(filterButtons, row++, 2, Qt::AlignLeft);

    auto* fileButtons = new QHBoxLayout;
    fileButtons->setSpacing(2);
    fileButtons->addWidget(btnFileAdd);
    fileButtons->addWidget(btnFileSub);
    grid->addWidget(newLabel(QStringLiteral(u"输出格式："), grpText), row, 0);
    grid->addWidget(cmbFileNames, row, 1);
    grid->addLayout(fileButtons, row++, 2);

    QLabel* legend = newLabel(QStringLiteral(u"标识含义: %idn% - 序号 %chapn% - 章节号 %title% - 章节标题\n"
                                             u"(n代表数字位数)"),
                              grpText);
    legend->setTextFormat(Qt::PlainText);
    legend->setWordWrap(true);
    grid->addWidget(legend, row++, 0, 1, 3);

    auto* numbers = new QGridLayout;
    numbers->setHorizontalSpacing(6);
    numbers->setVerticalSpacing(5);
    numbers->addWidget(newLabel(QStringLiteral(u"每个文件包含章节数(默认为1)："), grpText), 0, 0);
    numbers->addWidget(txtChapsInFile, 0, 1);
    numbers->addWidget(newLabel(QStringLiteral(u"每个目录文件数(0为不分目录)："), grpText), 1, 0);
    numbers->addWidget(txtFilesInDir, 1, 1);
    numbers->setColumnStretch(2, 1);
    grid->addLayout(numbers, row++, 0, 1, 3);

    grpOther = new QGroupBox(QStringLiteral(u"其他(&O)"), page);
    grpOther->setObjectName(QStringLiteral("grpOther"));
    chkDelSpaceLine = new QCheckBox(QStringLiteral(u"删除空行"), grpOther);
    chkDelSpaceLine->setObjectName(QStringLiteral("chkDelSpaceLine"));
    chkConvertToSimple = new QCheckBox(QStringLiteral(u"转换成简体"), grpOther);
    chkConvertToSimple->setObjectName(QStringLiteral("chkConvertToSimple"));
    chkSetInvalidTitle = new QCheckBox(QStringLiteral(u"自动过滤无效标题"), grpOther);
    chkSetInvalidTitle->setObjectName(QStringLiteral("chkSetInvalidTitle"));
    txtInvalidLines = numberBox(QStringLiteral("txtInvalidLines"), grpOther);
    txtInvalidLines->setFixedWidth(44);
    cmbFilterAfterLine = new QComboBox(grpOther);
    cmbFilterAfterLine->setObjectName(QStringLiteral("cmbFilterAfterLine"));
    cmbFilterAfterLine->addItems({QStringLiteral(u"前一行"), QStringLiteral(u"后一行")});

    auto* other = new QGridLayout(grpOther);
    other->setContentsMargins(8, 6, 8, 8);
    other->setVerticalSpacing(5);
    auto* firstRow = new QHBoxLayout;
    firstRow->addWidget(chkDelSpaceLine);
    firstRow->addSpacing(16);
    firstRow->addWidget(chkConvertToSimple);
    firstRow->addStretch();
    auto* secondRow = new QHBoxLayout;
    secondRow->setSpacing(4);
    secondRow->addWidget(chkSetInvalidTitle);
    secondRow->addWidget(txtInvalidLines);
    secondRow->addWidget(newLabel(QStringLiteral(u"行内，过滤掉"), grpOther));
    secondRow->addWidget(cmbFilterAfterLine);
    secondRow->addStretch();
    other->addLayout(firstRow, 0, 0);
    other->addLayout(secondRow, 1, 0);

    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(6);
    layout->addWidget(grpText);
    layout->addWidget(grpOther);
    layout->addStretch();
}

void frmConfig::buildPageFavorite(QWidget* page) {
    grpFavorite = new QGroupBox(QStringLiteral(u"偏好设置(&F)"), page);
    grpFavorite->setObjectName(QStringLiteral("grpFavorite"));

    auto check = [this](const char16_t* text, const char* name) {
        auto* box = new QCheckBox(QString::fromUtf16(text), grpFavorite);
        box->setObjectName(QLatin1String(name));
        return box;
    };
    chkAutoAnalyze = check(u"打开文件后自动分析(&A)", "chkAutoAnalyze");
    chkMiniToTray = check(u"最小化到托盘区(&T)", "chkMiniToTray");
    chkShowBalloon = check(u"隐藏主界面时用托盘气泡提示(&B)", "chkShowBalloon");
    chkAutoOpenNotepad = check(u"复制到剪贴板后自动打开记事本(&N)", "chkAutoOpenNotepad");
    chkTopMost = check(u"窗口置顶(&P)", "chkTopMost");
    chkLogPosition = check(u"记录窗口位置大小(&L)", "chkLogPosition");
    chkAppendText = check(u"重名文件不替换直接添加到文件尾(&P)", "chkAppendText");

    auto* layout = new QVBoxLayout(grpFavorite);
    layout->setContentsMargins(10, 8, 10, 10);
    layout->setSpacing(7);
    for (QCheckBox* box : {chkAutoAnalyze, chkMiniToTray, chkShowBalloon, chkAutoOpenNotepad, chkTopMost,
                           chkLogPosition, chkAppendText})
        layout->addWidget(box);
    layout->addSpacing(6);

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(6);
    const char16_t* colorLabels[2] = {u"列表框背景色：", u"突出项背景色："};
    for (int i = 0; i < 2; ++i) {
        txtColor[i] = new QLineEdit(grpFavorite);
        txtColor[i]->setObjectName(QStringLiteral("txtColor_%1").arg(i));
        txtColor[i]->setFixedWidth(120);
        btnColor[i] = smallButton(QStringLiteral(u"…"), QStringLiteral("btnColor_%1").arg(i), grpFavorite);
        grid->addWidget(newLabel(QString::fromUtf16(colorLabels[i]), grpFavorite), i, 0);
        grid->addWidget(txtColor[i], i, 1);
        grid->addWidget(btnColor[i], i, 2);
    }
    cmbFonts = new QComboBox(grpFavorite);
    cmbFonts->setObjectName(QStringLiteral("cmbFonts"));
    cmbFonts->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cmbFonts->setMinimumContentsLength(16);
    cmbFonts->setMaxVisibleItems(16);
    grid->addWidget(newLabel(QStringLiteral(u"字 体："), grpFavorite), 2, 0);
    grid->addWidget(cmbFonts, 2, 1, 1, 2);
    grid->setColumnStretch(3, 1);
    layout->addLayout(grid);

    lblVellomar =
        new QLabel(QStringLiteral(u"维洛玛 Vellomar —— 墨川 作品。欢迎把意见和建议告诉我们。"), page);
    lblVellomar->setObjectName(QStringLiteral("lblVellomar"));
    lblVellomar->setWordWrap(true);
    lblVellomar->setEnabled(false);

    auto* pageLayout = new QVBoxLayout(page);
    pageLayout->setContentsMargins(6, 6, 6, 6);
    pageLayout->addWidget(grpFavorite);
    pageLayout->addStretch();
    pageLayout->addWidget(lblVellomar);
}

void frmConfig::Form_Load() {
    const Settings& s = m_settings;
    for (const TitleRule& rule : builtInTitleRules())
        addTitleRule(rule);
    txtTitle->setText(s.TitleText);
    txtTitle->setCursorPosition(0); // a long pattern shows its beginning
    syncTitleRule();

    // An index that names no entry (a hand-edited config.ini) selects nothing; the field then
    // shows the value in use, and everything else is filled all the same.
    auto fillChoice = [](QComboBox* combo, const QString& list, qint16 index, const QString& value) {
        combo->addItems(splitList(list));
        if (index >= 0 && index < combo->count()) {
            combo->setCurrentIndex(index);
        } else {
            combo->setCurrentIndex(-1);
            combo->setEditText(value);
        }
    };
    fillChoice(cmbOutPaths, s.OutPaths, s.PathDefaultSelect, s.OutPath);
    lstFilters->addItems(splitList(s.TextFilters));
    fillChoice(cmbFileNames, s.OutFiles, s.FileDefaultSelect, s.OutFile);

    txtChapsInFile->setText(QString::number(s.ChapsInFile));
    txtFilesInDir->setText(QString::number(s.FilesInDir));
    txtInvalidLines->setText(QString::number(s.InvalidLines));

    chkDelSpaceLine->setChecked(s.DelSpaceLine);
    chkConvertToSimple->setChecked(s.ConvertToSimple);
    chkSetInvalidTitle->setChecked(s.SetInvalidTitle);
    chkAutoAnalyze->setChecked(s.AutoAnalyze);
    chkMiniToTray->setChecked(s.MiniToTray);
    chkShowBalloon->setChecked(s.ShowBalloonTip);
    chkAutoOpenNotepad->setChecked(s.AutoOpenNotepad);
    chkTopMost->setChecked(s.TopMost);
    chkLogPosition->setChecked(s.LogPosition);
    chkAppendText->setChecked(s.AppendText);

    const qint32 colors[2] = {s.ListBackColor, s.ItemBackColor};
    for (int i = 0; i < 2; ++i) {
        txtColor[i]->setText(FormatColor(colors[i]));
        showColor(txtColor[i], colors[i]);
    }

    // Vertical-writing faces ("@" names) are left out.
    const QStringList families = QFontDatabase::families();
    for (const QString& family : families) {
        if (!family.isEmpty() && !family.contains(QLatin1Char('@')))
            cmbFonts->addItem(family);
    }
    int font = cmbFonts->findText(s.FontName, Qt::MatchFixedString | Qt::MatchCaseSensitive);
    if (font < 0)
        font = cmbFonts->findText(QStringLiteral("Tahoma"), Qt::MatchFixedString | Qt::MatchCaseSensitive);
    if (font < 0)
        font = cmbFonts->findText(QFontDatabase::systemFont(QFontDatabase::GeneralFont).family());
    if (font < 0 && cmbFonts->count() > 0)
        font = 0;
    cmbFonts->setCurrentIndex(font);

    cmbFilterAfterLine->setCurrentIndex(s.FilterAfterLine ? 1 : 0);

    ApplyDialogFont();
    SetTopMost(this, s.TopMost);
    updateTitleTest();
}

void frmConfig::ApplyDialogFont() {
    ApplyFontName(this, m_settings.FontName);
    fitRuleList();
}

// The rule list opens wide enough for long imported names, whatever the box's width.
void frmConfig::fitRuleList() {
    QAbstractItemView* view = cmbTitleRules->view();
    view->setMinimumWidth(view->sizeHintForColumn(0) + view->verticalScrollBar()->sizeHint().width() +
                          2 * view->frameWidth() + 8);
}

void frmConfig::connectChangeTracking() {
    for (QCheckBox* box :
         {chkDelSpaceLine, chkConvertToSimple, chkSetInvalidTitle, chkAutoAnalyze, chkMiniToTray,
          chkShowBalloon, chkAutoOpenNotepad, chkTopMost, chkLogPosition, chkAppendText})
        connect(box, &QCheckBox::clicked, this, &frmConfig::MarkChanged);
    connect(chkSetInvalidTitle, &QCheckBox::clicked, this, &frmConfig::chkSetInvalidTitle_Click);
    for (QComboBox* combo : {cmbFonts, cmbOutPaths, cmbFileNames, cmbFilterAfterLine})
        connect(combo, &QComboBox::activated, this, &frmConfig::MarkChanged);
    for (QComboBox* combo : {cmbOutPaths, cmbFileNames})
        connect(combo, &QComboBox::editTextChanged, this, &frmConfig::MarkChanged);
    for (QLineEdit* box :
         {txtTitle, txtChapsInFile, txtFilesInDir, txtInvalidLines, txtColor[0], txtColor[1]})
        connect(box, &QLineEdit::textChanged, this, &frmConfig::MarkChanged);
    // Choosing a filter string already counts as an edit.
    connect(lstFilters, &QListWidget::itemSelectionChanged, this, [this] {
        if (!lstFilters->selectedItems().isEmpty())
            MarkChanged();
    });
}

void frmConfig::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Message boxes and choosers that close over the dialog do not bring it back to its
    // first state: only opening does.
    if (!m_activated) {
        m_activated = true;
        Form_Activate();
        // Showing a dialog focuses its first box as if tabbed into, which selects all and
        // scrolls a long pattern to its end; show its beginning instead.
        QMetaObject::invokeMethod(
            txtTitle,
            [this] {
                txtTitle->deselect();
                txtTitle->setCursorPosition(0);
            },
            Qt::QueuedConnection);
    }
}

void frmConfig::Form_Activate() {
    ShowPage(1);
    txtInvalidLines->setEnabled(chkSetInvalidTitle->isChecked());
    btnApply->setEnabled(false);
    m_changed = false;
}

void frmConfig::ShowPage(int index) {
    if (index < 1 || index > 2)
        return;
    tabConfig->setCurrentIndex(index - 1);
    // The focus goes to the first control of the page that can take it.
    QWidget* page = picTabs[index - 1];
    for (QWidget* w = page->nextInFocusChain(); w && w != page; w = w->nextInFocusChain()) {
        if (page->isAncestorOf(w) && (w->focusPolicy() & Qt::TabFocus) && w->isEnabled()) {
            w->setFocus(Qt::OtherFocusReason);
            break;
        }
    }
}

void frmConfig::MarkChanged() {
    if (!m_changed) {
        btnApply->setEnabled(true);
        m_changed = true;
    }
}

bool frmConfig::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut) {
        if (watched == txtChapsInFile || watched == txtFilesInDir || watched == txtInvalidLines)
            repairNumberBox(static_cast<QLineEdit*>(watched));
        else if (watched == txtColor[0])
            txtColor_LostFocus(0);
        else if (watched == txtColor[1])
            txtColor_LostFocus(1);
    }
    return QDialog::eventFilter(watched, event);
}

void frmConfig::repairNumberBox(QLineEdit* box) {
    QString text = box->text();
    if (box == txtFilesInDir) {
        if (text.isEmpty()) {
            text = QStringLiteral("0");
        } else if (text.startsWith(QLatin1Char('0'))) {
            // Its value without leading zeros: 007 becomes 7, 000 becomes 0.
            while (text.size() > 1 && text.startsWith(QLatin1Char('0')))
                text.remove(0, 1);
        }
    } else if (text.isEmpty()) {
        text = QStringLiteral("1");
    }
    if (text.size() > 4)
        text.truncate(4);
    if (text != box->text())
        box->setText(text);
    box->setCursorPosition(int(text.size()));
}

void frmConfig::txtColor_LostFocus(int index) {
    showColor(txtColor[index], ParseColor(txtColor[index]->text()));
}

void frmConfig::btnColor_Click(int index) {
    const qint32 color = cCommonDialog().sShowColor(this);
    if (color == -1)
        return;
    showColor(txtColor[index], color);
    txtColor[index]->setText(FormatColor(color));
    MarkChanged();
}

void frmConfig::chkSetInvalidTitle_Click() {
    txtInvalidLines->setEnabled(chkSetInvalidTitle->isChecked());
}

void frmConfig::updateTitleTest() {
    // An empty pattern is not applied (the current one stays), so the current one is tested.
    const QString pattern = txtTitle->text().isEmpty() ? m_settings.TitleText : txtTitle->text();
    cRegExp recognizer;
    recognizer.InitRegexp(pattern);
    QString result;
    bool good = false;
    if (!recognizer.isValid()) {
        result = recognizer.errorString();
    } else if (!txtTitleTest->text().isEmpty()) {
        if (recognizer.GetMatch(txtTitleTest->text())) {
            good = true;
            result = QStringLiteral(u"是章节标题：章节号 %1，标题“%2”")
                         .arg(recognizer.ChaptorNum())
                         .arg(recognizer.ChaptorTitle());
        } else {
            result = QStringLiteral(u"不是章节标题");
        }
    }
    showTitleNote(result, good);
}

void frmConfig::showTitleNote(const QString& text, bool good) {
    lblTitleTest->setText(text);
    QPalette palette = lblTitleTest->palette();
    palette.setColor(QPalette::WindowText, good ? GoodNote : BadNote);
    lblTitleTest->setPalette(palette);
}

QString frmConfig::shownPattern() const {
    // An empty pattern is not applied (the current one stays).
    return txtTitle->text().isEmpty() ? m_settings.TitleText : txtTitle->text();
}

void frmConfig::addTitleRule(TitleRule rule) {
    // The recognizer is what will run the pattern, so it has the last word on whether it compiles.
    if (rule.error.isEmpty()) {
        cRegExp recognizer;
        recognizer.InitRegexp(rule.rule);
        if (rule.rule.isEmpty())
            rule.error = QStringLiteral(u"规则为空");
        else if (!recognizer.isValid())
            rule.error = recognizer.errorString();
    }
    const QString name = ruleName(rule);
    const int at = cmbTitleRules->count();
    if (rule.error.isEmpty()) {
        cmbTitleRules->addItem(name, int(m_rules.size()));
        QString tip = rule.rule;
        if (!rule.example.isEmpty())
            tip += QStringLiteral(u"\n例：") + rule.example;
        cmbTitleRules->setItemData(at, tip, Qt::ToolTipRole);
    } else {
        cmbTitleRules->addItem(name + QStringLiteral(u"（错误）"), int(m_rules.size()));
        cmbTitleRules->setItemData(at, rule.error, Qt::ToolTipRole);
        cmbTitleRules->setItemData(at, BadNote, Qt::ForegroundRole);
    }
    m_rules.append(rule);
}

// Shows the rule whose pattern is in the field, or "（自定义）" when none has it.
void frmConfig::syncTitleRule() {
    const QString pattern = shownPattern();
    auto matches = [&](int index) {
        const int k = cmbTitleRules->itemData(index).toInt();
        return index >= 0 && k >= 0 && m_rules[k].error.isEmpty() && m_rules[k].rule == pattern;
    };
    // Of two rules with the same pattern the chosen one stays chosen.
    int found = matches(cmbTitleRules->currentIndex()) ? cmbTitleRules->currentIndex() : -1;
    for (int i = 0; found < 0 && i < cmbTitleRules->count(); ++i) {
        if (matches(i))
            found = i;
    }
    const bool hasCustom = cmbTitleRules->count() > 0 && cmbTitleRules->itemData(0).toInt() < 0;
    if (found >= 0) {
        if (hasCustom) {
            cmbTitleRules->removeItem(0);
            --found;
        }
        cmbTitleRules->setCurrentIndex(found);
    } else {
        if (!hasCustom)
            cmbTitleRules->insertItem(0, CustomRule, -1);
        cmbTitleRules->setCurrentIndex(0);
    }
}

// Puts rule `rule` (an index into m_rules) into the pattern field; a rule that does not
// compile leaves the field alone and shows why.
bool frmConfig::useTitleRule(int rule) {
    const TitleRule& chosen = m_rules[rule];
    if (!chosen.error.isEmpty()) {
        syncTitleRule();
        showTitleNote(QStringLiteral(u"规则“%1”无法使用：%2").arg(ruleName(chosen), chosen.error), false);
        return false;
    }
    for (int i = 0; i < cmbTitleRules->count(); ++i) {
        if (cmbTitleRules->itemData(i).toInt() == rule)
            cmbTitleRules->setCurrentIndex(i);
    }
    txtTitle->setText(chosen.rule); // counts as an edit, as typing it would
    txtTitle->setCursorPosition(0);
    return true;
}

void frmConfig::cmbTitleRules_Click(int index) {
    const int rule = cmbTitleRules->itemData(index).toInt();
    if (rule >= 0)
        useTitleRule(rule);
}

void frmConfig::btnImportRules_Click() {
    const QString caption = QStringLiteral(u"导入规则");
    QString file, fileTitle, filter = RuleFilter;
    qint32 filterIndex = 1, flags = 0;
    bool readOnly = false;
    if (!cCommonDialog().VBGetOpenFileName(file, fileTitle, true, false, readOnly, true, filter, filterIndex,
                                           QString(), caption, QString(), this, flags))
        return;
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly)) {
        warn(QStringLiteral(u"无法读取文件：%1\n%2").arg(file, in.errorString()), caption);
        return;
    }
    QList<TitleRule> rules;
    QString error;
    const bool read = importTitleRules(in.readAll(), &rules, &error);
    // An array of anything but rule objects (numbers, strings) is no rule list either.
    const qsizetype entries = rules.size();
    rules.removeIf([](const TitleRule& r) { return r.name.isEmpty() && r.rule.isEmpty(); });
    if (!read || (entries > 0 && rules.isEmpty())) {
        if (read)
            error = QStringLiteral(u"数组中没有规则");
        warn(QStringLiteral(u"不是规则文件：%1\n%2").arg(file, error), caption);
        return;
    }
    int added = 0, broken = 0, known = 0;
    for (const TitleRule& rule : std::as_const(rules)) {
        // Importing a list twice, or a list exported from here, does not repeat entries.
        const bool listed = std::any_of(m_rules.cbegin(), m_rules.cend(), [&](const TitleRule& r) {
            return r.name == rule.name && r.rule == rule.rule;
        });
        if (listed) {
            ++known;
            continue;
        }
        addTitleRule(rule);
        ++added;
        broken += m_rules.last().error.isEmpty() ? 0 : 1;
    }
    fitRuleList();
    QString note = QStringLiteral(u"导入 %1 条规则").arg(added);
    if (broken > 0)
        note += QStringLiteral(u"，其中 %1 条有误").arg(broken);
    if (known > 0)
        note += QStringLiteral(u"；%1 条已在列表中").arg(known);
    showTitleNote(note, added > broken);
}

void frmConfig::btnExportRules_Click() {
    const QString caption = QStringLiteral(u"导出规则");
    const QString file = cCommonDialog().sGetSaveFileName(this, caption, QStringLiteral("titlerules.json"),
                                                          RuleFilter, QStringLiteral("json"));
    if (file.isEmpty())
        return;
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(exportTitleRules(m_rules)) < 0 || !out.commit()) {
        warn(QStringLiteral(u"无法写入文件：%1\n%2").arg(file, out.errorString()), caption);
        return;
    }
    showTitleNote(QStringLiteral(u"已导出 %1 条规则").arg(m_rules.size()), true);
}

void frmConfig::setRuleTrial(RuleTrialFunction trial) {
    m_ruleTrial = std::move(trial);
    btnSuggestRule->setEnabled(bool(m_ruleTrial));
    btnSuggestRule->setToolTip(m_ruleTrial ? QStringLiteral(u"在小说开头试用每条规则，选出最合适的")
                                           : QStringLiteral(u"请先打开小说"));
}

void frmConfig::btnSuggestRule_Click() {
    if (!m_ruleTrial)
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const QList<RuleTrial> trials = m_ruleTrial(m_rules);
    QApplication::restoreOverrideCursor();
    const int best = suggestTitleRule(trials);
    if (best < 0 || best >= m_rules.size()) {
        showTitleNote(QStringLiteral(u"没有合适的规则"), false);
        return;
    }
    if (useTitleRule(best)) {
        showTitleNote(QStringLiteral(u"推荐“%1”：前 512 KB 中找到 %2 个标题")
                          .arg(ruleName(m_rules[best]))
                          .arg(trials[best].titles),
                      true);
    }
}

void frmConfig::warn(const QString& text, const QString& caption) {
    Prompts::messageBox(this, text, caption, QMessageBox::Warning);
}

bool frmConfig::ask(const QString& prompt, const QString& caption, const QString& initial, QString* answer) {
    QString text;
    if (!Prompts::inputBox(this, prompt, caption, initial, &text))
        return false;
    *answer = text.trimmed();
    return !answer->isEmpty();
}

void frmConfig::btnPathEdit_Click() {
    const QString folder =
        cCommonDialog().sBrowseForFolder(this, QCoreApplication::applicationDirPath()).trimmed();
    if (folder.isEmpty())
        return;
    if (findExact(cmbOutPaths, folder) >= 0) {
        warn(QStringLiteral(u"已经包含目录：") + folder, QStringLiteral(u"选择目录"));
        return;
    }
    cmbOutPaths->addItem(folder);
    cmbOutPaths->setCurrentIndex(cmbOutPaths->count() - 1);
    btnApply->setEnabled(true);
}

void frmConfig::btnPathSub_Click() {
    const int k = shownIndex(cmbOutPaths);
    if (k < 0) {
        warn(QStringLiteral(u"请选择一项!"), QStringLiteral(u"删除路径"));
        return;
    }
    const QString shown = cmbOutPaths->currentText();
    cmbOutPaths->removeItem(k);
    if (cmbOutPaths->count() == 0) {
        cmbOutPaths->setEditText(shown);
    } else {
        cmbOutPaths->setCurrentIndex(k == 0 ? 0 : k - 1);
    }
    btnApply->setEnabled(true);
}

void frmConfig::btnFilterAdd_Click() {
    QListWidgetItem* current = lstFilters->currentItem();
    const QString initial = current && current->isSelected() ? current->text() : QString();
    QString answer;
    if (!ask(QStringLiteral(u"请写出要过滤的字符串:"), QStringLiteral(u"添加过滤字符串"), initial, &answer))
        return;
    if (!lstFilters->findItems(answer, Qt::MatchExactly | Qt::MatchCaseSensitive).isEmpty()) {
        warn(QStringLiteral(u"以下字符串已经存在!\n") + answer, QStringLiteral(u"添加过滤字符串"));
        return;
    }
    lstFilters->addItem(answer);
    lstFilters->clearSelection();
    lstFilters->setCurrentRow(lstFilters->count() - 1, QItemSelectionModel::ClearAndSelect);
    btnApply->setEnabled(true);
}

void frmConfig::btnFilterEdit_Click() {
    QListWidgetItem* item = lstFilters->currentItem();
    if (!item || !item->isSelected()) {
        const QList<QListWidgetItem*> selected = lstFilters->selectedItems();
        item = selected.isEmpty() ? nullptr : selected.first();
    }
    if (!item) {
        warn(QStringLiteral(u"请先选择一项!"), QStringLiteral(u"编辑过滤字符串"));
        return;
    }
    QString answer;
    if (!ask(QStringLiteral(u"请写出要过滤的字符串:"), QStringLiteral(u"编辑过滤字符串"), item->text(),
             &answer))
        return;
    for (int i = 0; i < lstFilters->count(); ++i) {
        if (lstFilters->item(i) != item && lstFilters->item(i)->text() == answer) {
            warn(QStringLiteral(u"以下字符串已经存在!\n") + answer, QStringLiteral(u"编辑"));
            return;
        }
    }
    item->setText(answer);
    btnApply->setEnabled(true);
}

void frmConfig::btnFilterSub_Click() {
    bool removed = false;
    for (int i = lstFilters->count() - 1; i >= 0; --i) {
        if (lstFilters->item(i)->isSelected()) {
            delete lstFilters->takeItem(i);
            removed = true;
        }
    }
    if (!removed) {
        warn(QStringLiteral(u"请选择一项或多项!"), QStringLiteral(u"删除字符串"));
        return;
    }
    btnApply->setEnabled(true);
}

void frmConfig::btnFileAdd_Click() {
    QString answer;
    if (!ask(QStringLiteral(u"请写出要输出的格式："), QStringLiteral(u"输出文件格式"),
             cmbFileNames->currentText(), &answer))
        return;
    if (findExact(cmbFileNames, answer) >= 0) {
        warn(QStringLiteral(u"以下格式已经存在!\n") + answer, QStringLiteral(u"添加格式"));
        return;
    }
    cmbFileNames->addItem(answer);
    cmbFileNames->setCurrentIndex(cmbFileNames->count() - 1);
    btnApply->setEnabled(true);
}

void frmConfig::btnFileSub_Click() {
    const int k = shownIndex(cmbFileNames);
    if (k < 0) {
        warn(QStringLiteral(u"请选择一项!"), QStringLiteral(u"删除格式"));
        return;
    }
    cmbFileNames->removeItem(k);
    if (cmbFileNames->count() == 0) {
        cmbFileNames->setCurrentIndex(-1);
        cmbFileNames->setEditText(QString());
    } else {
        cmbFileNames->setCurrentIndex(k == 0 ? 0 : k - 1);
    }
    btnApply->setEnabled(true);
}

bool frmConfig::ApplyConfig() {
    Settings& s = m_settings;
    // Enter and the Alt shortcuts apply without the focus leaving a number box.
    for (QLineEdit* box : {txtChapsInFile, txtFilesInDir, txtInvalidLines})
        repairNumberBox(box);

    if (txtTitle->text().isEmpty())
        txtTitle->setText(s.TitleText);
    else
        s.TitleText = txtTitle->text();

    const Settings builtIn = Settings::defaults();
    s.OutPaths = applyList(cmbOutPaths, s.OutPaths, builtIn.OutPaths, s.PathDefaultSelect, s.OutPath);

    s.TextFilters.clear();
    for (int i = 0; i < lstFilters->count(); ++i)
        s.TextFilters += lstFilters->item(i)->text() + CrLf;

    s.OutFiles = applyList(cmbFileNames, s.OutFiles, builtIn.OutFiles, s.FileDefaultSelect, s.OutFile);

    s.ChapsInFile = qint16(txtChapsInFile->text().toInt());
    s.FilesInDir = qint16(txtFilesInDir->text().toInt());
    s.DelSpaceLine = chkDelSpaceLine->isChecked();
    s.ConvertToSimple = chkConvertToSimple->isChecked();
    s.SetInvalidTitle = chkSetInvalidTitle->isChecked();
    s.InvalidLines = qint16(txtInvalidLines->text().toInt());
    s.AutoAnalyze = chkAutoAnalyze->isChecked();
    s.AppendText = chkAppendText->isChecked();
    s.MiniToTray = chkMiniToTray->isChecked();
    s.ShowBalloonTip = chkShowBalloon->isChecked();
    s.AutoOpenNotepad = chkAutoOpenNotepad->isChecked();
    s.TopMost = chkTopMost->isChecked();
    s.LogPosition = chkLogPosition->isChecked();

    s.ListBackColor = ParseColor(txtColor[0]->text());
    s.ItemBackColor = ParseColor(txtColor[1]->text());
    if (cmbFonts->currentIndex() >= 0)
        s.FontName = cmbFonts->currentText();
    s.FilterAfterLine = cmbFilterAfterLine->currentIndex() != 0;

    QString error;
    if (!SaveConfig(s, m_configPath, &error)) {
        reportError(QStringLiteral(u"设置已生效，但未能保存：") + error, FileAccessError,
                    QStringLiteral("frmConfig::ApplyConfig()"), this);
        return false;
    }
    return true;
}

void frmConfig::btnApply_Click() {
    // After a failed save Apply stays available, so that the user can try again.
    if (ApplyConfig()) {
        btnApply->setEnabled(false);
        m_changed = false;
    }
}

void frmConfig::btnOK_Click() {
    if (btnApply->isEnabled())
        ApplyConfig();
    accept();
}
