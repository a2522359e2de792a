#include "ReviewKeeper.h"

#include "ErrorHook.h"
#include "Prompts.h"

#include "core/Document.h"

#include <QApplication>
#include <QDir>

namespace {

const QString Caption = QStringLiteral(u"审阅");

} // namespace

std::optional<Review> ReviewKeeper::offer(const QString& path) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const SavedReview saved = findSavedReview(path);
    QApplication::restoreOverrideCursor();
    if (saved.kind == SavedReview::Unreadable) {
        // A damaged file must not stand between the user and the novel.
        Prompts::messageBox(&m_window, saved.error + QStringLiteral(u"\r\n上次的审阅无法使用，已忽略。"), Caption,
                            QMessageBox::Warning);
        return std::nullopt;
    }
    if (saved.kind != SavedReview::Found) {
        return std::nullopt;
    }
    const Review& r = saved.review;
    const QString what = QStringLiteral(u"这部小说有上次保存的审阅：忽略 %1 个标题，修改 %2 个，手动加入 %3 个。\r\n"
                                        u"继续上次的审阅？")
                             .arg(r.ignored.size())
                             .arg(r.edited.size())
                             .arg(r.added.size());
    if (!Prompts::askYesNo(&m_window, what, Caption)) {
        return std::nullopt;
    }
    return r;
}

void ReviewKeeper::markClean() {
    m_cleanRevision = m_doc.model().revision();
    m_cleanPrint = m_doc.model().reviewFingerprint();
}

bool ReviewKeeper::changed() const {
    const ChapterModel& model = m_doc.model();
    // The revision answers at once for a list nobody touched; the fingerprint for changes
    // that were all undone again.
    return m_doc.IsAnalysed && model.rowCount() > 0 && model.revision() != m_cleanRevision &&
           model.reviewFingerprint() != m_cleanPrint;
}

bool ReviewKeeper::save(const QString& titleRule, const QString& volumeRule, QString* error) {
    Review review = captureReview(m_doc, titleRule, volumeRule);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool keyed = NovelKey::sampled(m_doc.FilePath, &review.novel, error) &&
                       review.novel.addDigest(m_doc.FilePath, error);
    QApplication::restoreOverrideCursor();
    if (!keyed || !review.save(reviewFolder() + u'/' + review.novel.fileName(), error)) {
        return false;
    }
    markClean();
    return true;
}

bool ReviewKeeper::mayDiscard(const QString& titleRule, const QString& volumeRule) {
    if (!changed()) {
        return true;
    }
    const QString question = QStringLiteral(u"“%1”的审阅有改动（勾选、修改或加入的标题）。\r\n"
                                            u"是否保存审阅？保存后再打开这部小说时可以继续。")
                                 .arg(Document::fileNamePart(m_doc.FilePath));
    switch (Prompts::messageBox(&m_window, question, Caption, QMessageBox::Question,
                                QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel)) {
    case QMessageBox::Save: {
        QString error;
        if (!save(titleRule, volumeRule, &error)) {
            reportError(QStringLiteral(u"审阅未能保存：") + error, 75, QStringLiteral("frmMain::saveReview()"),
                        &m_window);
            return false;
        }
        return true;
    }
    case QMessageBox::Discard:
        markClean();
        return true;
    default:
        return false;
    }
}
