#pragma once

#include <QList>
#include <QString>

struct Settings;
class QWidget;

/// config.ini as the main window keeps it: read when the window loads, what went wrong told at
/// its first activation (and a missing file written anew), and the quick saves the window makes
/// between the options dialog's: a view choice, the recent files, the column widths, settings a
/// command changed. No save goes into a config.ini that could not be read at start: what is in
/// it is the user's, and it may be readable again later.
class WindowConfig {
public:
    /// `owner` is the window the warnings and error reports stand over.
    WindowConfig(Settings& settings, const QString& path, QWidget* owner);

    const QString& path() const { return m_path; }
    /// config.ini is there but could not be read at start.
    bool unreadable() const { return m_unreadable; }

    /// Reads config.ini into the settings; without one, the replace rules beside it.
    void load();
    /// The first activation's warnings: config.ini unreadable or missing (then written with
    /// the defaults), replace rules that could not be read.
    void startNotices();

    /// Kept at once, like the window position: a view choice is not worth a trip to the options.
    void saveShowPreview(bool shown);
    void saveRecentFiles();
    void saveColumnWidths(const QList<int>& widths);
    /// Saves every setting; false with `error` when config.ini could not be written. An
    /// unreadable config.ini is left alone.
    bool saveSettings(QString* error);

private:
    /// Whether a quick save may write: config.ini is there and was read.
    bool writable() const;

    Settings& m_settings;
    QString m_path;
    QWidget* m_owner;
    bool m_unreadable = false;
    QString m_error; // why config.ini could not be read
};
