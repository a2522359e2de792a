#pragma once

#include "core/Review.h"

#include <QString>

#include <optional>

class Document;
class QWidget;

/// The review of the open novel, kept in the user's data folder between sessions: offered
/// again when the same novel is opened, saved when the user says so before a change would be
/// lost (closing, another novel, a new analysis, quitting).
class ReviewKeeper {
public:
    /// `window` owns the questions asked.
    ReviewKeeper(QWidget& window, Document& doc) : m_window(window), m_doc(doc) {}

    /// After the novel at `path` has been opened: its saved review, when there is one and the
    /// user takes it up ("继续上次的审阅？"). A review file that cannot be read is named and
    /// left alone.
    std::optional<Review> offer(const QString& path);
    /// The list as it now stands is what a new analysis (or the review just applied) gives:
    /// nothing to save yet.
    void markClean();
    /// Whether the user has changed the list since.
    bool changed() const;
    /// Before the list is thrown away: 保存 / 不保存 / 取消 when it has changes; false when
    /// the user cancels (or saving failed and the user is told).
    bool mayDiscard(const QString& titleRule, const QString& volumeRule);
    /// Saves the review of the open list; false with `error` on failure.
    bool save(const QString& titleRule, const QString& volumeRule, QString* error);

private:
    QWidget& m_window;
    Document& m_doc;
    quint64 m_cleanRevision = 0;
    size_t m_cleanPrint = 0;
};
