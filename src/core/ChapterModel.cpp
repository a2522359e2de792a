#include "core/ChapterModel.h"

#include "core/FileName.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

namespace {

constexpr int SortKeyWidth = 10;
constexpr int ChapNumWidth = 3;
const QString AscendingArrow = QStringLiteral("▲");
const QString DescendingArrow = QStringLiteral("▼");

QString previewName(const QString& outFile, qint32 id, qint16 chapNum, const QString& title) {
    return MakeFileName(outFile, id, chapNum, title).chopped(4);
}

} // namespace

const QStringList ChapterModel::ColumnCaptions = {
    QStringLiteral("ID"),     QStringLiteral("输出预览"), QStringLiteral("内容"),
    QStringLiteral("章节号"), QStringLiteral("章节标题"), QStringLiteral("行数"), QStringLiteral("卷"),
};

const QStringList ChapterModel::ColumnKeys = {
    QStringLiteral("id"),      QStringLiteral("preview"), QStringLiteral("memo"),
    QStringLiteral("chapnum"), QStringLiteral("title"),   QStringLiteral("chapline"), QStringLiteral("volume"),
};

QString ChapCountText(int found, int ignored) {
    return QStringLiteral("一共: %1/%2 章").arg(found - ignored).arg(found);
}

QString ChapterModel::sortKey(const QString& text) {
    bool ok = false;
    const double value = text.toDouble(&ok);
    // Numbers too large for an integer keep their text; they are beyond ten digits anyway.
    if (!ok || !std::isfinite(value) || std::fabs(value) >= 1e18)
        return text;
    return ZeroFill(std::llround(value), SortKeyWidth);
}

ChapterModel::ChapterModel(QObject* parent) : QAbstractTableModel(parent), m_captions(ColumnCaptions) {
    resetTable();
}

QString ChapterModel::cellText(int row, int column) const {
    const qint32 r = m_rows.at(row).tag;
    if (r < 0 || r >= m_chapnum.size())
        return QString();
    switch (column) {
    case IdColumn:
        return QString::number(r + 1);
    case PreviewColumn:
        if (const auto it = m_otherPreviews.constFind(r); it != m_otherPreviews.cend())
            return *it;
        return previewName(m_outFile, r + 1, m_chapnum.at(r), m_title.at(r));
    case MemoColumn:
        return m_memo.value(r);
    case ChapNumColumn:
        return ZeroFill(m_chapnum.at(r), ChapNumWidth);
    case TitleColumn:
        return m_title.at(r);
    case ChapLineColumn:
        return QString::number(m_chapline.at(r));
    case VolumeColumn:
        if (const int v = m_volumes.volumeOf(r); v >= 0)
            return m_volumes.at(v).title;
        return QString();
    default:
        return QString();
    }
}

int ChapterModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

int ChapterModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount + (m_volumes.isEmpty() ? 0 : 1);
}

QVariant ChapterModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Row& row = m_rows.at(index.row());
    // An ignored title makes no file of its own: no name to show.
    if (index.column() == PreviewColumn && row.checked && (role == Qt::DisplayRole || role == Qt::ToolTipRole))
        return role == Qt::DisplayRole ? QString() : QStringLiteral(u"已忽略：正文并入上一章，不单独输出");
    if (index.column() == IdColumn && role == Qt::ToolTipRole && m_handAdded.contains(row.tag))
        return QStringLiteral(u"手动加入的标题");
    if (role == Qt::DisplayRole)
        return cellText(index.row(), index.column());
    if (role == Qt::CheckStateRole && index.column() == IdColumn)
        return row.checked ? Qt::Checked : Qt::Unchecked;
    QString tip;
    if (index.column() == ChapNumColumn && (role == AnomalyRole || role == Qt::ToolTipRole)) {
        const NumberingAnomaly a = row.tag < m_anomalies.size() ? m_anomalies.at(row.tag) : NumberingAnomaly::None;
        if (role == AnomalyRole)
            return int(a);
        if (a == NumberingAnomaly::Repeat)
            tip = QStringLiteral(u"重复章节: 与第 %1 行的章节相同").arg(m_repeatOf.value(row.tag));
        else if (a != NumberingAnomaly::None)
            tip = anomalyDescription(a, m_chapnum.value(row.tag), m_anomalyPrevious.value(row.tag));
    }
    if (role == Qt::ToolTipRole) {
        if (const auto it = m_tidyReasons.constFind(row.tag); it != m_tidyReasons.cend()) {
            const QString why = (row.checked ? QStringLiteral(u"按编号整理时忽略：") : QStringLiteral(u"按编号整理时恢复："))
                                + tidyReasonText(*it);
            tip = tip.isEmpty() ? why : why + u'\n' + tip;
        }
        if (!tip.isEmpty())
            return tip;
    }
    if (index.column() == VolumeColumn) {
        if (role == EmptyVolumeRole)
            return m_emptyVolumesAt.contains(row.tag);
        if (role == Qt::ToolTipRole)
            return volumeToolTip(index.row());
    }
    return {};
}

bool ChapterModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::CheckStateRole || index.column() != IdColumn ||
        !checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return false;
    const bool wanted = value.toInt() != Qt::Unchecked;
    if (wanted != m_rows.at(index.row()).checked)
        userToggle(index.row());
    return true;
}

Qt::ItemFlags ChapterModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (index.column() == IdColumn)
        f |= Qt::ItemIsUserCheckable;
    return f;
}

QVariant ChapterModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < columnCount())
        return m_captions.at(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

void ChapterModel::resetTable() {
    clearRows();
    m_chapline = {0};
    m_chapnum = {0};
    m_title = TextColumn();
    m_title.resize(1);
    m_memo = TextColumn();
    m_memo.resize(1);
    m_otherPreviews.clear();
}

void ChapterModel::clearRows() {
    if (m_batchDepth == 0)
        beginResetModel();
    m_rows.clear();
    m_volumes.clear();
    m_emptyVolumesAt.clear();
    m_edited = false;
    m_touched.clear();
    m_handAdded.clear();
    m_tidyReasons.clear();
    m_checkedCount = 0;
    m_anomalies.clear();
    m_anomalyPrevious.clear();
    m_repeatOf.clear();
    m_anomalyCount = 0;
    if (m_batchDepth == 0)
        endResetModel();
}

void ChapterModel::beginBatch() {
    if (m_batchDepth++ == 0)
        beginResetModel();
}

void ChapterModel::endBatch() {
    if (m_batchDepth > 0 && --m_batchDepth == 0) {
        // The analysis is over: the table stops growing, and its spare room goes back.
        m_chapline.squeeze();
        m_chapnum.squeeze();
        m_title.squeeze();
        m_memo.squeeze();
        m_rows.squeeze();
        endResetModel();
    }
}

int ChapterModel::AddChapItem(qint32 id, qint16 chapNum, const QString& title, const QString& lineText,
                              qint32 lineNo, const QString& outFile) {
    if (id < 1)
        return -1;
    const qint32 record = id - 1;
    // The table takes exactly id records: a new analysis shrinks it to what it has found so far.
    m_chapline.resize(id);
    m_chapnum.resize(id);
    m_title.resize(id);
    m_memo.resize(id);
    m_chapline[record] = lineNo;
    m_chapnum[record] = chapNum;
    m_title.set(record, title);
    m_memo.set(record, lineText);
    if (m_rows.isEmpty()) {
        m_outFile = outFile;
        m_otherPreviews.clear();
    }
    if (outFile != m_outFile)
        m_otherPreviews.insert(record, previewName(outFile, id, chapNum, title));
    else
        m_otherPreviews.remove(record);

    Row row;
    row.tag = record;

    const int position = int(m_rows.size());
    if (m_batchDepth == 0)
        beginInsertRows(QModelIndex(), position, position);
    m_rows.append(std::move(row));
    if (m_batchDepth == 0)
        endInsertRows();
    return position;
}

void ChapterModel::setVolumes(VolumeList volumes) {
    if (m_batchDepth == 0)
        beginResetModel();
    m_volumes = std::move(volumes);
    bindEmptyVolumes();
    if (m_batchDepth == 0)
        endResetModel();
}

void ChapterModel::bindEmptyVolumes() {
    m_emptyVolumesAt.clear();
    // A volume without a chapter is told on the row after it, or on the last row at the end.
    const int records = recordCount();
    for (int v = 0; v < m_volumes.size(); ++v) {
        const Volume& vol = m_volumes.at(v);
        if (vol.isEmpty())
            m_emptyVolumesAt[std::min(vol.firstRecord, records - 1)].append(v);
    }
}

QString ChapterModel::volumeToolTip(int row) const {
    if (row < 0 || row >= m_rows.size())
        return QString();
    const qint32 r = m_rows.at(row).tag;
    auto heading = [this](int v) {
        const Volume& vol = m_volumes.at(v);
        return QStringLiteral(u"%1（第 %2 行）").arg(vol.title).arg(vol.line);
    };
    QStringList lines;
    if (const int v = m_volumes.volumeOf(r); v >= 0)
        lines << heading(v);
    for (int v : m_emptyVolumesAt.value(r))
        lines << QStringLiteral(u"没有章节的卷：") + heading(v);
    return lines.join(u'\n');
}

void ChapterModel::UpdateChapItem(int row, qint16 chapNum, const QString& title, const QString& outFile) {
    if (row < 0 || row >= m_rows.size())
        return;
    const qint32 r = m_rows.at(row).tag;
    if (m_undoRecording && (m_chapnum.at(r) != chapNum || m_title.at(r) != title)) {
        const bool before = m_history.canUndo();
        m_history.addEdit({r, m_chapnum.at(r), m_title.at(r)});
        ++m_revision;
        undoChanged(before);
    }
    m_edited = true;
    m_touched.insert(r);
    m_chapnum[r] = chapNum;
    m_title.set(r, title);
    if (outFile != m_outFile)
        m_otherPreviews.insert(r, previewName(outFile, r + 1, chapNum, title));
    else
        m_otherPreviews.remove(r);
    if (m_batchDepth == 0)
        emit dataChanged(index(row, PreviewColumn), index(row, TitleColumn), {Qt::DisplayRole});
}

void ChapterModel::setRowChecked(int row, bool checked) {
    Row& r = m_rows[row];
    if (r.checked == checked)
        return;
    r.checked = checked;
    m_checkedCount += checked ? 1 : -1;
}

void ChapterModel::toggleRow(int row) {
    setRowChecked(row, !m_rows.at(row).checked);
}

void ChapterModel::emitCheckChanged(int first, int last) {
    if (m_batchDepth == 0 && first <= last)
        // The output preview goes blank on an ignored row.
        emit dataChanged(index(first, IdColumn), index(last, PreviewColumn), {Qt::CheckStateRole});
}

void ChapterModel::setChecked(int row, bool checked) {
    if (row < 0 || row >= m_rows.size() || m_rows.at(row).checked == checked)
        return;
    setRowChecked(row, checked);
    emitCheckChanged(row, row);
}

void ChapterModel::SortItem(int column, int order) {
    if (column < 1 || column > columnCount() || m_rows.isEmpty())
        return;
    const int cell = column - 1;
    const bool descending = order == 1;
    // The number columns sort by their values, which is what their ten-digit keys give for
    // values that are not negative; other columns (and negative numbers) sort by key texts.
    std::vector<qint64> numbers;
    // The volume column sorts by the volumes' order in the book, rows without one first.
    if (cell == IdColumn || cell == ChapNumColumn || cell == ChapLineColumn || cell == VolumeColumn) {
        numbers.reserve(size_t(m_rows.size()));
        for (const Row& r : std::as_const(m_rows)) {
            const qint64 v = cell == IdColumn ? r.tag + 1
                             : r.tag < 0 || r.tag >= m_chapnum.size() ? -1
                             : cell == ChapNumColumn ? m_chapnum.at(r.tag)
                             : cell == VolumeColumn  ? m_volumes.volumeOf(r.tag) + 1
                                                     : m_chapline.at(r.tag);
            if (v < 0) {
                numbers.clear();
                break;
            }
            numbers.push_back(v);
        }
    }
    QStringList keys;
    if (numbers.empty()) {
        keys.reserve(m_rows.size());
        for (int row = 0; row < m_rows.size(); ++row)
            keys.append(sortKey(cellText(row, cell)));
    }

    QList<int> newOrder(m_rows.size());
    std::iota(newOrder.begin(), newOrder.end(), 0);
    auto precedes = [&](int a, int b) {
        if (!numbers.empty())
            return descending ? numbers[size_t(a)] > numbers[size_t(b)] : numbers[size_t(a)] < numbers[size_t(b)];
        const int c = keys.at(a).compare(keys.at(b), Qt::CaseInsensitive);
        return descending ? c > 0 : c < 0;
    };
    // Rows already in order stay as they are (the usual case: back to record order before a pass).
    if (std::is_sorted(newOrder.cbegin(), newOrder.cend(), precedes)) {
        return;
    }
    std::stable_sort(newOrder.begin(), newOrder.end(), precedes);

    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    QList<int> oldToNew(m_rows.size());
    QList<Row> sorted;
    sorted.reserve(m_rows.size());
    for (int pos = 0; pos < newOrder.size(); ++pos) {
        oldToNew[newOrder.at(pos)] = pos;
        sorted.append(std::move(m_rows[newOrder.at(pos)]));
    }
    m_rows = std::move(sorted);

    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& idx : before)
        after.append(index(oldToNew.at(idx.row()), idx.column()));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void ChapterModel::SortByColumn(int column, int order) {
    for (int c = 1; c <= int(m_captions.size()); ++c) {
        m_captions[c - 1] = ColumnCaptions.at(c - 1);
        if (c != column)
            continue;
        if (order == 1) {
            m_captions[c - 1] += DescendingArrow;
            SortItem(c, 1);
            m_sortOrderTag = QStringLiteral("0");
        } else {
            m_captions[c - 1] += AscendingArrow;
            SortItem(c, 0);
            m_sortOrderTag = QStringLiteral("1");
        }
    }
    if (column == -1) {
        SortItem(1, 0);
        m_sortOrderTag = QStringLiteral("0");
    }
    emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
}

void ChapterModel::undoChanged(bool before) {
    if (m_history.canUndo() != before)
        emit undoAvailableChanged(m_history.canUndo());
}

void ChapterModel::PushUndo(int position, bool cont) {
    if (m_rows.isEmpty())
        return;
    const bool before = m_history.canUndo();
    // Continuing with no step begun begins one.
    if (!cont || m_history.stepCount() == 0)
        m_history.beginStep();
    // The row's record, not its position: a sort between the change and its undo moves rows.
    if (position > 0 && position <= m_rows.size())
        m_history.addToggle(m_rows.at(position - 1).tag);
    undoChanged(before);
}

void ChapterModel::userToggle(int row) {
    if (row < 0 || row >= m_rows.size())
        return;
    toggleRow(row);
    m_touched.insert(m_rows.at(row).tag);
    m_tidyReasons.remove(m_rows.at(row).tag);
    ++m_revision;
    emitCheckChanged(row, row);
    if (m_undoRecording)
        PushUndo(row + 1, false);
    UpdateChapCount();
}

template <typename Pred> void ChapterModel::selectWhere(Pred shouldToggle) {
    ++m_revision;
    PushUndo(0, false);
    for (int row = 0; row < m_rows.size(); ++row) {
        if (shouldToggle(m_rows.at(row))) {
            toggleRow(row);
            PushUndo(row + 1, true);
        }
    }
    emitCheckChanged(0, int(m_rows.size()) - 1);
    UpdateChapCount();
}

void ChapterModel::setRowsChecked(const QList<int>& rows, bool checked) {
    QSet<int> chosen(rows.cbegin(), rows.cend());
    chosen.removeIf([this](int row) { return row < 0 || row >= m_rows.size(); });
    if (chosen.isEmpty())
        return;
    int row = 0;
    selectWhere([&](const Row& r) {
        const bool change = chosen.contains(row++) && r.checked != checked;
        if (change) {
            m_touched.insert(r.tag);
            m_tidyReasons.remove(r.tag);
        }
        return change;
    });
}

QVector<bool> ChapterModel::handTouched() const {
    QVector<bool> touched(m_chapnum.size(), false);
    // A title added by hand is the user's own, as an edited one is.
    for (const QSet<qint32>* set : {&m_touched, &m_handAdded}) {
        for (qint32 r : *set) {
            if (r >= 0 && r < touched.size())
                touched[r] = true;
        }
    }
    return touched;
}

int ChapterModel::applyTidy(const QVector<TidyChange>& changes) {
    QHash<qint32, TidyChange> byRecord;
    for (const TidyChange& c : changes)
        byRecord.insert(c.record, c);
    const bool any = std::any_of(m_rows.cbegin(), m_rows.cend(), [&](const Row& r) {
        const auto it = byRecord.constFind(r.tag);
        return it != byRecord.cend() && r.checked != it->ignore;
    });
    if (!any)
        return 0; // no empty undo group
    int changed = 0;
    selectWhere([&](const Row& r) {
        const auto it = byRecord.constFind(r.tag);
        if (it == byRecord.cend() || r.checked == it->ignore)
            return false;
        m_tidyReasons.insert(r.tag, it->reason);
        ++changed;
        return true;
    });
    return changed;
}

TidyReason ChapterModel::tidyReason(int row) const {
    return m_tidyReasons.value(m_rows.at(row).tag, TidyReason::None);
}

void ChapterModel::SelAll() {
    selectWhere([](const Row& r) { return !r.checked; });
}

void ChapterModel::SelNone() {
    selectWhere([](const Row& r) { return r.checked; });
}

void ChapterModel::SelReverse() {
    selectWhere([](const Row&) { return true; });
}

int ChapterModel::SelUndo() {
    if (m_history.stepCount() < 1)
        return -1;
    const bool before = m_history.canUndo();
    const ChapterHistory::Step step = m_history.takeNewest();
    ++m_revision;
    int lastRow = -1;
    if (step.added >= 0 && step.added < recordCount() && m_handAdded.contains(step.added)) {
        qint32 tombstone = 0;
        takeRecord(step.added, &tombstone);
        lastRow = rowOfRecord(std::max(0, step.added - 1));
    }
    if (step.removed && step.removedAt >= 0 && step.removedAt <= recordCount()) {
        insertRecord(step.removedAt, *step.removed, rowForNewRecord(step.removedAt), step.tombstone);
        m_handAdded.insert(step.removedAt);
        lastRow = rowOfRecord(step.removedAt);
    }
    for (auto e = step.edits.crbegin(); e != step.edits.crend(); ++e) {
        const int row = e->record >= 0 && e->record < recordCount() ? rowOfRecord(e->record) : -1;
        if (row < 0)
            continue;
        m_chapnum[e->record] = e->chapnum;
        m_title.set(e->record, e->title);
        m_otherPreviews.remove(e->record);
        emit dataChanged(index(row, PreviewColumn), index(row, TitleColumn), {Qt::DisplayRole});
        lastRow = row;
    }
    const QList<qint32>& group = step.toggled;
    for (int record : group)
        m_tidyReasons.remove(record);
    QVector<int> rowOf;
    if (!group.isEmpty()) {
        rowOf.fill(-1, m_chapnum.size());
        for (int row = 0; row < m_rows.size(); ++row) {
            if (m_rows.at(row).tag < rowOf.size())
                rowOf[m_rows.at(row).tag] = row;
        }
    }
    int first = int(m_rows.size());
    int last = -1;
    for (int record : group) {
        // A later analysis may have left fewer rows than the group remembers; those toggles are gone.
        const int row = record >= 0 && record < rowOf.size() ? rowOf.at(record) : -1;
        if (row < 0)
            continue;
        toggleRow(row);
        lastRow = row;
        first = std::min(first, row);
        last = std::max(last, row);
    }
    emitCheckChanged(first, last);
    undoChanged(before);
    UpdateChapCount();
    return lastRow;
}

// --- Titles added by hand ------------------------------------------------------------------------------

namespace {

// Record-keyed sets and tables follow an insertion (delta 1) or a removal (delta -1) at `at`.
void shiftKeys(QSet<qint32>& set, qint32 at, int delta) {
    QSet<qint32> moved;
    for (qint32 r : std::as_const(set)) {
        if (delta < 0 && r == at)
            continue;
        moved.insert(r >= at + (delta < 0 ? 1 : 0) ? r + delta : r);
    }
    set = std::move(moved);
}

template <typename T> void shiftKeys(QHash<qint32, T>& hash, qint32 at, int delta) {
    QHash<qint32, T> moved;
    for (auto it = hash.cbegin(); it != hash.cend(); ++it) {
        if (delta < 0 && it.key() == at)
            continue;
        moved.insert(it.key() >= at + (delta < 0 ? 1 : 0) ? it.key() + delta : it.key(), it.value());
    }
    hash = std::move(moved);
}

template <typename V, typename T> void insertAt(V& v, qint32 at, T value) {
    if (at <= v.size())
        v.insert(at, value);
}

template <typename V> void removeAt(V& v, qint32 at) {
    if (at < v.size())
        v.remove(at);
}

} // namespace

size_t ChapterModel::reviewFingerprint() const {
    size_t h = qHash(m_rows.size());
    for (const Row& r : m_rows)
        h = qHashMulti(h, r.tag, r.checked);
    for (qint32 rec = 0; rec < m_chapnum.size(); ++rec)
        h = qHashMulti(h, m_chapline.value(rec), m_chapnum.at(rec), m_title.view(rec));
    return h;
}

void ChapterModel::attachRecordColumns(QVector<qint64>* offsets, QVector<quint8>* shapes) {
    m_offsets = offsets;
    m_shapes = shapes;
}

int ChapterModel::rowOfRecord(qint32 record) const {
    for (int row = 0; row < m_rows.size(); ++row) {
        if (m_rows.at(row).tag == record)
            return row;
    }
    return -1;
}

int ChapterModel::rowForNewRecord(qint32 record) const {
    if (record > 0) {
        const int before = rowOfRecord(record - 1);
        if (before >= 0)
            return before + 1;
    }
    const int after = rowOfRecord(record);
    return after >= 0 ? after : int(m_rows.size());
}

qint32 ChapterModel::recordAtLine(qint32 line) const {
    const auto it = std::lower_bound(m_chapline.cbegin(), m_chapline.cend(), line);
    return it != m_chapline.cend() && *it == line && !m_rows.isEmpty() ? qint32(it - m_chapline.cbegin()) : -1;
}

QList<qint32> ChapterModel::handAddedRecords() const {
    QList<qint32> records(m_handAdded.cbegin(), m_handAdded.cend());
    std::sort(records.begin(), records.end());
    return records;
}

void ChapterModel::insertRecord(qint32 record, const ChapterRecord& rec, int row, qint32 tombstone) {
    for (Row& r : m_rows) {
        if (r.tag >= record)
            ++r.tag;
    }
    m_chapline.insert(record, rec.line);
    m_chapnum.insert(record, rec.chapnum);
    m_title.insert(record, rec.title);
    m_memo.insert(record, rec.lineText);
    if (m_offsets)
        insertAt(*m_offsets, record, rec.offset);
    if (m_shapes)
        insertAt(*m_shapes, record, rec.shape);
    shiftKeys(m_otherPreviews, record, 1);
    shiftKeys(m_touched, record, 1);
    shiftKeys(m_handAdded, record, 1);
    shiftKeys(m_tidyReasons, record, 1);
    insertAt(m_anomalies, record, NumberingAnomaly::None);
    insertAt(m_anomalyPrevious, record, qint16(0));
    insertAt(m_repeatOf, record, qint32(0));
    m_volumes.rebind(m_chapline);
    bindEmptyVolumes();
    m_history.recordInserted(record, tombstone);

    beginInsertRows(QModelIndex(), row, row);
    m_rows.insert(row, Row{record, rec.checked});
    m_checkedCount += rec.checked ? 1 : 0;
    endInsertRows();
    // Every record after it has a new ID, and with it a new output name.
    emit dataChanged(index(0, 0), index(int(m_rows.size()) - 1, columnCount() - 1));
    emit recordsChanged();
}

ChapterRecord ChapterModel::takeRecord(qint32 record, qint32* tombstone) {
    ChapterRecord rec;
    rec.line = m_chapline.at(record);
    rec.offset = m_offsets ? m_offsets->value(record) : 0;
    rec.shape = m_shapes ? m_shapes->value(record) : 0;
    rec.chapnum = m_chapnum.at(record);
    rec.title = m_title.at(record);
    rec.lineText = m_memo.at(record);
    if (const int row = rowOfRecord(record); row >= 0) {
        rec.checked = m_rows.at(row).checked;
        beginRemoveRows(QModelIndex(), row, row);
        m_checkedCount -= rec.checked ? 1 : 0;
        m_rows.removeAt(row);
        endRemoveRows();
    }
    for (Row& r : m_rows) {
        if (r.tag > record)
            --r.tag;
    }
    m_chapline.remove(record);
    m_chapnum.remove(record);
    m_title.remove(record);
    m_memo.remove(record);
    if (m_offsets)
        removeAt(*m_offsets, record);
    if (m_shapes)
        removeAt(*m_shapes, record);
    shiftKeys(m_otherPreviews, record, -1);
    shiftKeys(m_touched, record, -1);
    shiftKeys(m_handAdded, record, -1);
    shiftKeys(m_tidyReasons, record, -1);
    removeAt(m_anomalies, record);
    removeAt(m_anomalyPrevious, record);
    removeAt(m_repeatOf, record);
    m_volumes.rebind(m_chapline);
    bindEmptyVolumes();
    *tombstone = m_history.recordRemoved(record);
    if (!m_rows.isEmpty())
        emit dataChanged(index(0, 0), index(int(m_rows.size()) - 1, columnCount() - 1));
    emit recordsChanged();
    return rec;
}

int ChapterModel::addTitle(const ChapterRecord& record, const QString& outFile) {
    if (m_rows.isEmpty() || m_batchDepth > 0 || recordAtLine(record.line) >= 0)
        return -1;
    const qint32 r = qint32(std::upper_bound(m_chapline.cbegin(), m_chapline.cend(), record.line) - m_chapline.cbegin());
    const int row = rowForNewRecord(r);
    ChapterRecord kept = record;
    kept.checked = false;
    insertRecord(r, kept, row);
    m_handAdded.insert(r);
    if (outFile != m_outFile)
        m_otherPreviews.insert(r, previewName(outFile, r + 1, record.chapnum, record.title));
    ++m_revision;
    if (m_undoRecording) {
        const bool before = m_history.canUndo();
        m_history.addInsert(r);
        undoChanged(before);
    }
    UpdateChapCount();
    return row;
}

bool ChapterModel::removeTitle(int row) {
    if (row < 0 || row >= m_rows.size() || !isHandAdded(row))
        return false;
    const qint32 r = m_rows.at(row).tag;
    qint32 tombstone = 0;
    const ChapterRecord rec = takeRecord(r, &tombstone);
    ++m_revision;
    if (m_undoRecording) {
        const bool before = m_history.canUndo();
        m_history.addRemoval(r, rec, tombstone);
        undoChanged(before);
    }
    UpdateChapCount();
    return true;
}

void ChapterModel::resetUndo() {
    const bool before = m_history.canUndo();
    m_history.clear();
    undoChanged(before);
}

void ChapterModel::UpdateChapCount() {
    emit checkCountChanged(m_checkedCount);
}

QVector<bool> ChapterModel::ignoredRecords() const {
    QVector<bool> ignored(m_chapnum.size(), false);
    for (const Row& r : m_rows) {
        if (r.checked && r.tag < ignored.size())
            ignored[r.tag] = true;
    }
    return ignored;
}

void ChapterModel::setAnomalies(const QVector<NumberingAnomaly>& anomalies) {
    m_anomalies = anomalies;
    m_anomalies.resize(m_chapnum.size(), NumberingAnomaly::None);
    // The number each record was judged against, for the tool tips.
    const QVector<bool> ignored = ignoredRecords();
    reviewNumbering(m_chapnum, ignored, m_volumes.starts(), &m_anomalyPrevious);
    for (qsizetype r = 0; r < m_repeatOf.size() && r < m_anomalies.size(); ++r) {
        if (m_repeatOf.at(r) > 0 && !ignored.value(r))
            m_anomalies[r] = NumberingAnomaly::Repeat;
    }
    m_anomalyCount = 0;
    for (const Row& r : std::as_const(m_rows)) {
        if (m_anomalies.at(r.tag) != NumberingAnomaly::None)
            ++m_anomalyCount;
    }
    if (m_batchDepth == 0 && !m_rows.isEmpty())
        emit dataChanged(index(0, ChapNumColumn), index(int(m_rows.size()) - 1, ChapNumColumn),
                         {Qt::ToolTipRole, AnomalyRole});
}

void ChapterModel::setRepeats(const QVector<qint32>& sameAs) {
    m_repeatOf = sameAs;
}

int ChapterModel::repeatCount() const {
    return int(std::count_if(m_rows.cbegin(), m_rows.cend(),
                             [this](const Row& r) { return !r.checked && m_repeatOf.value(r.tag) > 0; }));
}

int ChapterModel::ignoreRepeats() {
    const int n = repeatCount();
    if (n > 0)
        selectWhere([this](const Row& r) { return !r.checked && m_repeatOf.value(r.tag) > 0; });
    return n;
}

NumberingAnomaly ChapterModel::anomaly(int row) const {
    if (row < 0 || row >= m_rows.size())
        return NumberingAnomaly::None;
    return m_anomalies.value(m_rows.at(row).tag, NumberingAnomaly::None);
}
