#include "TextPage.h"

#include "ListEditor.h"
#include "OptionsWidgets.h"
#include "TitleRuleEditor.h"
#include "cCommonDialog.h"

#include "config/ConfigFile.h"
#include "config/Settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

using options::label;

namespace {

const QString CrLf = QStringLiteral("\r\n");

// Writes one of the two single-choice lists back into the settings. Returns the list text,
// which begins with CR LF and has every entry followed by CR LF.
QString applyList(QComboBox* combo, const QString& current, const QString& builtIn, qint16& selection,
                  QString& value) {
    QString list = CrLf;
    int selected = -1;
    const QString typed = combo->currentText();
    for (int i = 0; i < combo->count(); ++i) {
        list += combo->itemText(i) + CrLf;
        if (combo->itemText(i) == typed) {
            selected = i;
        }
    }
    if (combo->count() == 0) {
        // A list emptied by the user gets its first entry back, so that the setting always
        // names something usable; the built-in one when the setting had none either.
        QString first = splitList(current).value(0);
        if (first.isEmpty()) {
            first = splitList(builtIn).value(0);
        }
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
    if (!list.contains(CrLf + chosen + CrLf)) {
        list += chosen + CrLf;
    }
    selection = qint16(selected);
    value = chosen;
    return list;
}

// An index that names no entry (a hand-edited config.ini) selects nothing; the field then
// shows the value in use.
void fillChoice(QComboBox* combo, const QString& list, qint16 index, const QString& value) {
    combo->addItems(splitList(list));
    if (index >= 0 && index < combo->count()) {
        combo->setCurrentIndex(index);
    } else {
        combo->setCurrentIndex(-1);
        combo->setEditText(value);
    }
}

} // namespace

TextPage::TextPage(const Settings& settings, QWidget* dialog) : m_dialog(dialog) {
    grpText = new QGroupBox(QStringLiteral(u"文本选项(&T)"), this);
    grpText->setObjectName(QStringLiteral("grpText"));
    m_rules = new TitleRuleEditor(settings, grpText);

    cmbOutPaths = options::listCombo(QStringLiteral("cmbOutPaths"), grpText);
    btnPathSub = options::smallButton(QStringLiteral(u"－"), QStringLiteral("btnPathSub"), grpText);
    btnPathEdit = options::smallButton(QStringLiteral(u"…"), QStringLiteral("btnPathEdit"), grpText);

    lstFilters = new QListWidget(grpText);
    lstFilters->setObjectName(QStringLiteral("lstFilters"));
    lstFilters->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lstFilters->setFixedHeight(72);
    btnFilterAdd = options::smallButton(QStringLiteral(u"＋"), QStringLiteral("btnFilterAdd"), grpText);
    btnFilterSub = options::smallButton(QStringLiteral(u"－"), QStringLiteral("btnFilterSub"), grpText);
    btnFilterEdit = options::smallButton(QStringLiteral(u"…"), QStringLiteral("btnFilterEdit"), grpText);

    cmbFileNames = options::listCombo(QStringLiteral("cmbFileNames"), grpText);
    btnFileAdd = options::smallButton(QStringLiteral(u"＋"), QStringLiteral("btnFileAdd"), grpText);
    btnFileSub = options::smallButton(QStringLiteral(u"－"), QStringLiteral("btnFileSub"), grpText);

    txtChapsInFile = options::numberBox(QStringLiteral("txtChapsInFile"), grpText);
    txtFilesInDir = options::numberBox(QStringLiteral("txtFilesInDir"), grpText);
    chkFolderPerVolume = new QCheckBox(QStringLiteral(u"每卷一个目录"), grpText);
    chkFolderPerVolume->setObjectName(QStringLiteral("chkFolderPerVolume"));
    chkFolderPerVolume->setToolTip(QStringLiteral(u"小说分卷时，每卷的章节放进以卷名命名的目录（代替每个目录文件数）"));

    auto* grid = new QGridLayout(grpText);
    grid->setContentsMargins(8, 6, 8, 8);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(5);
    grid->setColumnStretch(1, 1);
    int row = 0;
    m_rules->addTo(grid, row);

    auto* pathButtons = new QHBoxLayout;
    pathButtons->setSpacing(2);
    pathButtons->addWidget(btnPathSub);
    pathButtons->addWidget(btnPathEdit);
    grid->addWidget(label(QStringLiteral(u"输出目录："), grpText), row, 0);
    grid->addWidget(cmbOutPaths, row, 1);
    grid->addLayout(pathButtons, row++, 2);

    auto* filterButtons = new QVBoxLayout;
    filterButtons->setSpacing(2);
    filterButtons->addWidget(btnFilterAdd);
    filterButtons->addWidget(btnFilterSub);
    filterButtons->addWidget(btnFilterEdit);
    filterButtons->addStretch();
    grid->addWidget(label(QStringLiteral(u"字符过滤："), grpText), row, 0, Qt::AlignTop);
    grid->addWidget(lstFilters, row, 1);
    grid->addLayout(filterButtons, row++, 2, Qt::AlignLeft);

    auto* fileButtons = new QHBoxLayout;
    fileButtons->setSpacing(2);
    fileButtons->addWidget(btnFileAdd);
    fileButtons->addWidget(btnFileSub);
    grid->addWidget(label(QStringLiteral(u"输出格式："), grpText), row, 0);
    grid->addWidget(cmbFileNames, row, 1);
    grid->addLayout(fileButtons, row++, 2);

    QLabel* legend = label(QStringLiteral(u"标识含义: %idn% - 序号 %chapn% - 章节号 %title% - 章节标题\n"
                                          u"(n代表数字位数)"),
                           grpText);
    legend->setTextFormat(Qt::PlainText);
    legend->setWordWrap(true);
    grid->addWidget(legend, row++, 0, 1, 3);

    auto* numbers = new QGridLayout;
    numbers->setHorizontalSpacing(6);
    numbers->setVerticalSpacing(5);
    numbers->addWidget(label(QStringLiteral(u"每个文件包含章节数(默认为1)："), grpText), 0, 0);
    numbers->addWidget(txtChapsInFile, 0, 1);
    numbers->addWidget(label(QStringLiteral(u"每个目录文件数(0为不分目录)："), grpText), 1, 0);
    numbers->addWidget(txtFilesInDir, 1, 1);
    numbers->addWidget(chkFolderPerVolume, 1, 2);
    numbers->setColumnStretch(3, 1);
    grid->addLayout(numbers, row++, 0, 1, 3);

    // Alt+O belongs to 确定, so the group takes Q.
    grpOther = new QGroupBox(QStringLiteral(u"其他(&Q)"), this);
    grpOther->setObjectName(QStringLiteral("grpOther"));
    chkDelSpaceLine = new QCheckBox(QStringLiteral(u"删除空行"), grpOther);
    chkDelSpaceLine->setObjectName(QStringLiteral("chkDelSpaceLine"));
    chkConvertToSimple = new QCheckBox(QStringLiteral(u"转换成简体"), grpOther);
    chkConvertToSimple->setObjectName(QStringLiteral("chkConvertToSimple"));
    chkSetInvalidTitle = new QCheckBox(QStringLiteral(u"自动过滤无效标题"), grpOther);
    chkSetInvalidTitle->setObjectName(QStringLiteral("chkSetInvalidTitle"));
    txtInvalidLines = options::numberBox(QStringLiteral("txtInvalidLines"), grpOther);
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
    secondRow->addWidget(label(QStringLiteral(u"行内，过滤掉"), grpOther));
    secondRow->addWidget(cmbFilterAfterLine);
    secondRow->addStretch();
    other->addLayout(firstRow, 0, 0);
    other->addLayout(secondRow, 1, 0);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(6);
    layout->addWidget(grpText);
    layout->addWidget(grpOther);
    layout->addStretch();

    m_paths = new ListEditor(cmbOutPaths,
                             {QString(), QString(), QStringLiteral(u"已经包含目录："),
                              QStringLiteral(u"选择目录"), QStringLiteral(u"请选择一项!"),
                              QStringLiteral(u"删除路径"), QString(), QString(), QString()},
                             dialog);
    m_filters = new ListEditor(lstFilters,
                               {QStringLiteral(u"请写出要过滤的字符串:"), QStringLiteral(u"添加过滤字符串"),
                                QStringLiteral(u"以下字符串已经存在!\n"), QStringLiteral(u"添加过滤字符串"),
                                QStringLiteral(u"请选择一项或多项!"), QStringLiteral(u"删除字符串"),
                                QStringLiteral(u"请先选择一项!"), QStringLiteral(u"编辑过滤字符串"),
                                QStringLiteral(u"编辑")},
                               dialog);
    m_files = new ListEditor(cmbFileNames,
                             {QStringLiteral(u"请写出要输出的格式："), QStringLiteral(u"输出文件格式"),
                              QStringLiteral(u"以下格式已经存在!\n"), QStringLiteral(u"添加格式"),
                              QStringLiteral(u"请选择一项!"), QStringLiteral(u"删除格式"), QString(),
                              QString(), QString()},
                             dialog);
    for (ListEditor* editor : {m_paths, m_filters, m_files}) {
        connect(editor, &ListEditor::edited, this, &TextPage::listEdited);
    }
    connect(btnPathEdit, &QPushButton::clicked, this, &TextPage::btnPathEdit_Click);
    connect(btnPathSub, &QPushButton::clicked, this, &TextPage::btnPathSub_Click);
    connect(btnFilterAdd, &QPushButton::clicked, this, &TextPage::btnFilterAdd_Click);
    connect(btnFilterEdit, &QPushButton::clicked, this, &TextPage::btnFilterEdit_Click);
    connect(btnFilterSub, &QPushButton::clicked, this, &TextPage::btnFilterSub_Click);
    connect(btnFileAdd, &QPushButton::clicked, this, &TextPage::btnFileAdd_Click);
    connect(btnFileSub, &QPushButton::clicked, this, &TextPage::btnFileSub_Click);
    for (QLineEdit* box : {txtChapsInFile, txtFilesInDir, txtInvalidLines}) {
        box->installEventFilter(this);
    }
}

void TextPage::load(const Settings& s) {
    m_rules->load(s.TitleText, s.VolumeText);
    fillChoice(cmbOutPaths, s.OutPaths, s.PathDefaultSelect, s.OutPath);
    lstFilters->addItems(splitList(s.TextFilters));
    fillChoice(cmbFileNames, s.OutFiles, s.FileDefaultSelect, s.OutFile);
    txtChapsInFile->setText(QString::number(s.ChapsInFile));
    txtFilesInDir->setText(QString::number(s.FilesInDir));
    txtInvalidLines->setText(QString::number(s.InvalidLines));
    chkDelSpaceLine->setChecked(s.DelSpaceLine);
    chkConvertToSimple->setChecked(s.ConvertToSimple);
    chkSetInvalidTitle->setChecked(s.SetInvalidTitle);
    chkFolderPerVolume->setChecked(s.FolderPerVolume);
    cmbFilterAfterLine->setCurrentIndex(s.FilterAfterLine ? 1 : 0);

    // Change tracking starts once the controls hold the settings.
    for (QCheckBox* box : {chkDelSpaceLine, chkConvertToSimple, chkSetInvalidTitle, chkFolderPerVolume}) {
        connect(box, &QCheckBox::clicked, this, &TextPage::changed);
    }
    connect(chkSetInvalidTitle, &QCheckBox::clicked, this, &TextPage::chkSetInvalidTitle_Click);
    for (QComboBox* combo : {cmbOutPaths, cmbFileNames, cmbFilterAfterLine}) {
        connect(combo, &QComboBox::activated, this, &TextPage::changed);
    }
    for (QComboBox* combo : {cmbOutPaths, cmbFileNames}) {
        connect(combo, &QComboBox::editTextChanged, this, &TextPage::changed);
    }
    connect(m_rules, &TitleRuleEditor::edited, this, &TextPage::changed);
    for (QLineEdit* box : {txtChapsInFile, txtFilesInDir, txtInvalidLines}) {
        connect(box, &QLineEdit::textChanged, this, &TextPage::changed);
    }
    // Choosing a filter string already counts as an edit.
    connect(lstFilters, &QListWidget::itemSelectionChanged, this, [this] {
        if (!lstFilters->selectedItems().isEmpty()) {
            emit changed();
        }
    });
}

void TextPage::apply(Settings& s) {
    // Enter and the Alt shortcuts apply without the focus leaving a number box.
    for (QLineEdit* box : {txtChapsInFile, txtFilesInDir, txtInvalidLines}) {
        repairNumberBox(box);
    }
    QLineEdit* pattern = m_rules->patternBox();
    if (pattern->text().isEmpty()) {
        pattern->setText(s.TitleText);
    } else {
        s.TitleText = pattern->text();
    }
    s.VolumeText = m_rules->volumeBox()->text();
    const Settings builtIn = Settings::defaults();
    s.OutPaths = applyList(cmbOutPaths, s.OutPaths, builtIn.OutPaths, s.PathDefaultSelect, s.OutPath);
    s.TextFilters.clear();
    for (int i = 0; i < lstFilters->count(); ++i) {
        s.TextFilters += lstFilters->item(i)->text() + CrLf;
    }
    s.OutFiles = applyList(cmbFileNames, s.OutFiles, builtIn.OutFiles, s.FileDefaultSelect, s.OutFile);
    s.ChapsInFile = qint16(txtChapsInFile->text().toInt());
    s.FilesInDir = qint16(txtFilesInDir->text().toInt());
    s.FolderPerVolume = chkFolderPerVolume->isChecked();
    s.DelSpaceLine = chkDelSpaceLine->isChecked();
    s.ConvertToSimple = chkConvertToSimple->isChecked();
    s.SetInvalidTitle = chkSetInvalidTitle->isChecked();
    s.InvalidLines = qint16(txtInvalidLines->text().toInt());
    s.FilterAfterLine = cmbFilterAfterLine->currentIndex() != 0;
}

void TextPage::activate() {
    txtInvalidLines->setEnabled(chkSetInvalidTitle->isChecked());
}

bool TextPage::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut &&
        (watched == txtChapsInFile || watched == txtFilesInDir || watched == txtInvalidLines)) {
        repairNumberBox(static_cast<QLineEdit*>(watched));
    }
    return QWidget::eventFilter(watched, event);
}

void TextPage::repairNumberBox(QLineEdit* box) {
    if (box == txtFilesInDir) {
        options::repairNumberBox(box, QStringLiteral("0"), true);
    } else {
        options::repairNumberBox(box, QStringLiteral("1"), false);
    }
}

void TextPage::chkSetInvalidTitle_Click() {
    txtInvalidLines->setEnabled(chkSetInvalidTitle->isChecked());
}

void TextPage::btnPathEdit_Click() {
    const QString folder =
        cCommonDialog().sBrowseForFolder(m_dialog, QCoreApplication::applicationDirPath()).trimmed();
    if (!folder.isEmpty()) {
        m_paths->add(folder);
    }
}

void TextPage::btnPathSub_Click() {
    m_paths->removeChosen(true);
}

void TextPage::btnFilterAdd_Click() {
    QListWidgetItem* current = lstFilters->currentItem();
    m_filters->addTyped(current && current->isSelected() ? current->text() : QString());
}

void TextPage::btnFilterEdit_Click() {
    m_filters->editChosen();
}

void TextPage::btnFilterSub_Click() {
    m_filters->removeChosen(false);
}

void TextPage::btnFileAdd_Click() {
    m_files->addTyped(cmbFileNames->currentText());
}

void TextPage::btnFileSub_Click() {
    m_files->removeChosen(false);
}
