#pragma once

#include <QObject>
#include <QSize>

#include <functional>

struct Settings;
class QWidget;

/// Where the main window stands: the position and outer size kept in config.ini (in twips)
/// put back at load and kept at unload, sized to the desktop's frame, and the moment the
/// window is placed, which the start-up notices wait for.
///
/// Saved sizes and the minimum size are outer sizes, but the frame is known only once the
/// desktop has framed the window: at the first activation, or later with the move that framing
/// causes (an X11 window manager may frame a window only after it shows). Until then the window
/// keeps its outer size as its inner one; sizing it before would save a size larger by the
/// frame at every start.
class WindowPlacement : public QObject {
public:
    /// `frameExtent` tells how much the desktop's frame adds to the window's size: empty until
    /// the desktop has framed the window.
    WindowPlacement(QWidget& window, std::function<QSize()> frameExtent);

    /// Puts the window where config.ini says it stood, when that fits the screen.
    void restore(const Settings& settings);
    /// At the first activation: the window is sized to its frame as soon as the frame is known.
    void fitFromNowOn();
    /// The window moved or was resized, as it does when the desktop frames it.
    void windowMoved();
    /// Runs `placed` once, when the window is framed and on screen, or after a moment where no
    /// frame comes: a box shown before would stand where the window was before.
    void whenPlaced(std::function<void()> placed);
    /// Whether whenPlaced's action still waits.
    bool waiting() const { return static_cast<bool>(m_placed); }
    /// Keeps the position and outer size, unless the window is minimised, maximised or full
    /// screen; false with `error` when config.ini could not be written.
    bool save(const QString& configPath, QString* error) const;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    bool placed() const;
    void fitToFrame();
    void runIfPlaced();
    void run();

    QWidget& m_window;
    std::function<QSize()> m_frameExtent;
    QSize m_savedSize;
    bool m_framePending = false;     // sizes wait for the desktop's frame
    std::function<void()> m_placed; // set while whenPlaced's action waits
};
