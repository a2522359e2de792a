#include "ListCommands.h"

#include "ErrorHook.h"
#include "MainWidgets.h"
#include "Prompts.h"
#include "frmAddTitle.h"

#include "config/Settings.h"
#include "core/Document.h"
#include "core/NumberingReview.h"
#include "core/RepeatedChapters.h"
#include "core/Review.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QToolButton>
#include <QTreeView>

#include <algorithm>
#include <cmath>

namespace {

// Error numbers as the classic run-time library numbers them; users quote them in reports.
enum ErrorNumber { Overflow = 6, TypeMismatch = 13 };

const QString NoSelection = QStringLiteral(u"请先选择一项！");
const QString EditCaption = QStringLiteral(u"编辑");

QString trimSpaces(const QString& s) {
    qsizetype b = 0;
    qsizetype e = s.size();
    while (b < e && s.at(b) == u' ') {
        ++b;
    }
    while (e > b && s.at(e - 1) == u' ') {
        --e;
    }
    return s.mid(b, e - b);
}

} // namespace

ListCommands::ListCommands(Document& doc, Settings& settings, QWidget* window, const MainWidgets& ui,
                           QMenu* itemMenu, QAction* editTitle)
    : m_doc(doc), m_settings(settings), m_window(window), m_ui(ui), m_itemMenu(itemMenu),
      m_editTitle(editTitle) {
    QObject::connect(ui.lvwTitles->header(), &QHeaderView::sectionClicked, window,
                     [this](int column) { lvwTitles_ColumnClick(column); });
    QObject::connect(ui.lvwTitles, &QTreeView::doubleClicked, window, [this] { lvwTitles_DblClick(); });
    QObject::connect(ui.btnTidy, &QToolButton::clicked, window, [this] { mnuI_Tidy_Click(); });
    // A check mark or a chapter number changes the review.
    QObject::connect(&doc.model(), &QAbstractItemModel::dataChanged, window,
                     [this](const QModelIndex& from, const QModelIndex& to, const QList<int>& roles) {
                         const bool checks = roles.isEmpty() || roles.contains(Qt::CheckStateRole);
                         const bool numbers = roles.contains(Qt::DisplayRole) &&
                                              from.column() <= ChapterModel::ChapNumColumn &&
                                              to.column() >= ChapterModel::ChapNumColumn;
                         if (checks || numbers) {
                             ReviewNumbering();
                         }
                     });
    // A title added or removed renumbers the records after it: tidying reads them again.
    QObject::connect(&doc.model(), &ChapterModel::recordsChanged, window, [this] {
        m_tidyInput.clear();
        ReviewNumbering();
    });
    m_removeTitle = itemMenu->findChild<QAction*>(QStringLiteral("mnuI_RemoveTitle"));
    QObject::connect(itemMenu, &QMenu::aboutToShow, window, [this] { syncRemoveTitle(); });
    QObject::connect(ui.lvwTitles->selectionModel(), &QItemSelectionModel::currentChanged, window,
                     [this] { syncRemoveTitle(); });
    syncRemoveTitle();
}

void ListCommands::syncRemoveTitle() {
    if (!m_removeTitle) {
        return;
    }
    const int row = selectedRow();
    m_removeTitle->setEnabled(m_doc.DocState == Analysed && row >= 0 && row < m_doc.model().rowCount() &&
                              m_doc.model().isHandAdded(row));
}

void ListCommands::focusList() {
    // With the keyboard in the list, the first ↓ selects the top row.
    m_ui.lvwTitles->setFocus(Qt::OtherFocusReason);
}

void ListCommands::showOutcome(const QString& text) {
    const ChapterModel& model = m_doc.model();
    m_ui.textPanel->setText(ChapCountText(model.rowCount(), model.checkedCount()) + QStringLiteral(u"　") + text);
}

void ListCommands::makeTitleAt(qint32 line) {
    ChapterModel& model = m_doc.model();
    if (m_doc.DocState != Analysed || model.rowCount() == 0 || line < 1) {
        return;
    }
    if (model.recordAtLine(line) >= 0) {
        showOutcome(QStringLiteral(u"第 %1 行已经是章节标题").arg(line));
        return;
    }
    qint64 offset = 0;
    QString text;
    QString error;
    if (!m_doc.readLine(line, &offset, &text, &error)) {
        reportError(error.isEmpty() ? QStringLiteral(u"无法读取第 %1 行").arg(line) : error, 0,
                    QStringLiteral("frmMain::makeTitleAt()"), m_window);
        return;
    }
    // The number the line reads as is judged against the title before it.
    const QVector<qint32>& lines = model.chapline();
    const qsizetype before = std::upper_bound(lines.cbegin(), lines.cend(), line) - lines.cbegin() - 1;
    ChapterRecord rec = readHandTitle(text, m_settings.TitleText, before >= 0 ? model.chapnum().at(before) : 0);
    frmAddTitle dialog(line, text, rec.chapnum, rec.title, m_window);
    if (Prompts::exec(&dialog) != QDialog::Accepted) {
        return;
    }
    rec.line = line;
    rec.offset = offset;
    rec.chapnum = dialog.chapnum();
    rec.title = dialog.title();
    const int row = model.addTitle(rec, m_settings.OutFile);
    if (row < 0) {
        return;
    }
    selectRow(row);
    showOutcome(QStringLiteral(u"已把第 %1 行设为章节标题（可撤消）").arg(line));
}

void ListCommands::mnuI_RemoveTitle_Click() {
    ChapterModel& model = m_doc.model();
    const int row = selectedRow();
    if (m_doc.DocState != Analysed || row < 0 || !model.isHandAdded(row)) {
        return;
    }
    const qint32 line = model.chapline().at(model.tag(row));
    model.removeTitle(row);
    if (model.rowCount() > 0) {
        selectRow(std::min(row, model.rowCount() - 1));
    }
    showOutcome(QStringLiteral(u"已删除第 %1 行的标题（可撤消）").arg(line));
}

int ListCommands::selectedRow() const {
    // Of several selected rows, the current one is the one edited, copied and previewed.
    const QItemSelectionModel* selection = m_ui.lvwTitles->selectionModel();
    const QModelIndex current = selection->currentIndex();
    if (current.isValid() && selection->isRowSelected(current.row(), QModelIndex())) {
        return current.row();
    }
    const QModelIndexList rows = selection->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

QList<int> ListCommands::selectedRows() const {
    QList<int> rows;
    for (const QModelIndex& index : m_ui.lvwTitles->selectionModel()->selectedRows()) {
        rows << index.row();
    }
    return rows;
}

void ListCommands::setSelectedChecks(bool checked) {
    // Checks are the user's review of an analysed list; a pass owns the list while it runs.
    if (m_doc.DocState != Analysed) {
        return;
    }
    m_doc.model().setRowsChecked(selectedRows(), checked);
}

void ListCommands::mnuI_CheckSelected_Click() {
    setSelectedChecks(true);
}

void ListCommands::mnuI_UncheckSelected_Click() {
    setSelectedChecks(false);
}

void ListCommands::toggleSelectedChecks() {
    const int row = selectedRow();
    if (row >= 0) {
        setSelectedChecks(!m_doc.model().isChecked(row));
    }
}

void ListCommands::selectRow(int row) {
    const QModelIndex index = m_doc.model().index(row, 0);
    m_ui.lvwTitles->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                                 QItemSelectionModel::Rows);
    m_ui.lvwTitles->scrollTo(index);
}

void ListCommands::lvwTitles_ColumnClick(int column) {
    if (m_doc.DocState != Analysed) {
        return;
    }
    trapErrors(QStringLiteral("frmMain::SortItem()"), m_window, [&] {
        ChapterModel& model = m_doc.model();
        model.SortByColumn(column + 1, model.sortOrderTag().toInt());
    });
}

void ListCommands::mnuI_SelAll_Click() {
    m_doc.model().SelAll();
}
void ListCommands::mnuI_SelNone_Click() {
    m_doc.model().SelNone();
}
void ListCommands::mnuI_SelReverse_Click() {
    m_doc.model().SelReverse();
}

void ListCommands::mnuI_SelUndo_Click() {
    trapErrors(QStringLiteral("frmMain::mnuI_SelUndo_Click()"), m_window, [this] {
        const int row = m_doc.model().SelUndo();
        if (row >= 0) {
            selectRow(row);
        }
    });
}

bool ListCommands::askForSelected(const QString& prompt, const QString& caption,
                                  const std::function<QString(int)>& current, int* row, QString* answer) {
    *row = selectedRow();
    if (*row < 0) {
        Prompts::messageBox(m_window, NoSelection, EditCaption, QMessageBox::Warning);
        return false;
    }
    return Prompts::inputBox(m_window, prompt, caption, current(m_doc.model().tag(*row)), answer);
}

void ListCommands::mnuIE_Title_Click() {
    trapErrors(QStringLiteral("frmMain::mnuIE_Title_Click()"), m_window, [this] {
        ChapterModel& model = m_doc.model();
        int row = -1;
        QString answer;
        if (!askForSelected(
                QStringLiteral(u"请输入新的标题："), QStringLiteral(u"编辑章节标题"),
                [&](int r) { return model.title().at(r); }, &row, &answer)) {
            return;
        }
        const int r = model.tag(row);
        answer = trimSpaces(answer);
        if (answer.isEmpty()) {
            return;
        }
        model.UpdateChapItem(row, model.chapnum().at(r), answer, m_settings.OutFile);
    });
}

void ListCommands::mnuIE_ChapNum_Click() {
    const QString context = QStringLiteral("frmMain::mnuIE_ChapNum_Click()");
    trapErrors(context, m_window, [&] {
        ChapterModel& model = m_doc.model();
        int row = -1;
        QString answer;
        // A cancelled box is an answer like any other: nothing changes, nothing is reported.
        if (!askForSelected(
                QStringLiteral(u"请输入新的章节序号："), QStringLiteral(u"编辑章节序号"),
                [&](int r) { return QString::number(model.chapnum().at(r)); }, &row, &answer)) {
            return;
        }
        const int r = model.tag(row);
        bool ok = false;
        const double value = trimSpaces(answer).toDouble(&ok);
        if (!ok || !std::isfinite(value)) {
            reportError(QStringLiteral(u"类型不匹配"), TypeMismatch, context, m_window);
            return;
        }
        const double number = std::nearbyint(value);
        if (number < -32768 || number > 32767) {
            reportError(QStringLiteral(u"溢出"), Overflow, context, m_window);
            return;
        }
        model.UpdateChapItem(row, qint16(number), model.title().at(r), m_settings.OutFile);
    });
}

void ListCommands::mnuI_Copy_Click() {
    const int row = selectedRow();
    if (row < 0) {
        return;
    }
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(m_doc.model().memo(row));
    // The message promises an open editor only when the desktop has opened one.
    QString text = QStringLiteral(u"复制成功：标题行已在剪贴板上，可在文本编辑器里粘贴查找。");
    if (m_settings.AutoOpenNotepad) {
        text = Prompts::openUrl(QUrl::fromLocalFile(m_doc.FilePath))
                   ? QStringLiteral(u"复制成功：已用文本编辑器打开小说，粘贴即可查找！")
                   : QStringLiteral(u"复制成功：标题行已在剪贴板上（无法用文本编辑器打开小说，请自行打开查找）。");
    }
    Prompts::messageBox(m_window, text, QStringLiteral(u"复制"), QMessageBox::Information);
}

void ListCommands::lvwTitles_DblClick() {
    // Editing stays with the commands' own state: not while a pass walks the list.
    if (selectedRow() >= 0 && m_editTitle->isEnabled()) {
        mnuIE_Title_Click();
    }
}

void ListCommands::lvwTitles_MouseUp(const QPoint& globalPos) {
    if (selectedRow() >= 0) {
        m_itemMenu->popup(globalPos);
    }
}

void ListCommands::ReviewNumbering() {
    ChapterModel& model = m_doc.model();
    if (m_doc.DocState != Analysed || model.rowCount() == 0) {
        m_ui.textPanel->setToolTip(QString());
        return;
    }
    model.setAnomalies(reviewNumbering(model.chapnum(), model.ignoredRecords(), model.volumes().starts()));
    const int n = model.anomalyCount();
    // The panel's own text is the chapter count; the review goes into its tool tip, with the
    // volumes, which are no chapters.
    QString tip = n > 0 ? QStringLiteral(u"编号异常 %1 处，按 F3 查看").arg(n) : QStringLiteral(u"章节编号没有发现异常");
    if (const VolumeList& volumes = model.volumes(); !volumes.isEmpty()) {
        tip += QStringLiteral(u"\n共 %1 卷").arg(volumes.size());
        if (const int empty = volumes.emptyCount(); empty > 0) {
            tip += QStringLiteral(u"，其中 %1 卷没有章节（见“卷”列的提示）").arg(empty);
        }
    }
    m_ui.textPanel->setToolTip(tip);
    reviewTidy();
}

QVector<TidyChange> ListCommands::tidyProposal() {
    ChapterModel& model = m_doc.model();
    if (m_tidyInput.size() != model.recordCount()) {
        m_tidyInput = tidyInput(m_doc, {});
    }
    // The checks and the user's own changes are taken as they stand now.
    const QVector<bool> ignored = model.ignoredRecords();
    const QVector<bool> locked = model.handTouched();
    for (int r = 0; r < m_tidyInput.size(); ++r) {
        m_tidyInput[r].ignored = r < ignored.size() && ignored[r];
        m_tidyInput[r].locked = r < locked.size() && locked[r];
        m_tidyInput[r].number = model.chapnum().at(r);
    }
    return tidyTitles(m_tidyInput);
}

void ListCommands::reviewTidy() {
    // Past this many titles the proposal waits for the menu, so that a check stays instant.
    constexpr int QuickTitles = 100000;
    const ChapterModel& model = m_doc.model();
    m_tidyChanges.clear();
    if (m_doc.DocState == Analysed && model.rowCount() > 0 && model.recordCount() <= QuickTitles) {
        m_tidyChanges = tidyProposal();
    }
    const qsizetype ignore = std::count_if(m_tidyChanges.cbegin(), m_tidyChanges.cend(), [](const TidyChange& c) { return c.ignore; });
    const qsizetype keep = m_tidyChanges.size() - ignore;
    m_ui.btnTidy->setText(QStringLiteral(u"可整理: 忽略 %1 个、恢复 %2 个").arg(ignore).arg(keep));
    m_ui.btnTidy->setVisible(!m_tidyChanges.isEmpty());
    if (!m_tidyChanges.isEmpty() && !m_ui.textPanel->toolTip().isEmpty()) {
        m_ui.textPanel->setToolTip(m_ui.textPanel->toolTip()
                                   + QStringLiteral(u"\n按编号整理可忽略 %1 个、恢复 %2 个标题：点右边的“可整理”").arg(ignore).arg(keep));
    }
}

void ListCommands::mnuI_Tidy_Click() {
    ChapterModel& model = m_doc.model();
    if (m_doc.DocState != Analysed || model.rowCount() == 0) {
        return;
    }
    const int changed = model.applyTidy(tidyProposal());
    ReviewNumbering();
    showOutcome(changed > 0 ? QStringLiteral(u"按编号整理：改变了 %1 个标题（可撤消）").arg(changed)
                            : QStringLiteral(u"按编号整理：没有要改变的标题"));
}

void ListCommands::mnuI_IgnoreRepeats_Click() {
    ChapterModel& model = m_doc.model();
    if (m_doc.DocState != Analysed || model.rowCount() == 0) {
        return;
    }
    const int n = model.ignoreRepeats();
    ReviewNumbering();
    showOutcome(n > 0 ? QStringLiteral(u"忽略重复章节：勾选了 %1 个章节（可撤消）").arg(n)
                      : QStringLiteral(u"没有重复章节"));
}

void ListCommands::analysisDone() {
    m_tidyInput.clear();
    m_tidyChanges.clear();
    if (m_doc.DocState == Analysed && m_doc.model().rowCount() > 1) {
        m_doc.model().setRepeats(findRepeatedChapters(m_doc));
    }
    if (m_settings.AutoTidy && m_doc.DocState == Analysed && m_doc.model().rowCount() > 0) {
        m_doc.model().applyTidy(tidyProposal());
    }
}

void ListCommands::mnuI_NextAnomaly_Click() {
    const ChapterModel& model = m_doc.model();
    const int n = model.rowCount();
    if (m_doc.DocState != Analysed || n == 0) {
        return;
    }
    const int from = selectedRow(); // -1: start at the top
    for (int step = 1; step <= n; ++step) {
        const int row = (from + step) % n;
        if (model.anomaly(row) != NumberingAnomaly::None) {
            selectRow(row);
            // In the middle, with the chapters around it in view to judge it by.
            m_ui.lvwTitles->scrollTo(model.index(row, 0), QAbstractItemView::PositionAtCenter);
            return;
        }
    }
    QApplication::beep();
    showOutcome(QStringLiteral(u"没有编号异常"));
}
