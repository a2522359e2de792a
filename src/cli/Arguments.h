#pragma once

#include <QByteArrayView>

#include "CliHost.h"

#include "core/TextCodec.h"

#include <QList>
#include <QString>
#include <QStringList>

/// What the command line asks for.
struct Options {
    QString command;
    QString config;
    QString rules;
    bool detect = true;
    TextCodec::Id encoding = TextCodec::Gbk;
    QString out;
    QStringList novels;
    int jobs = 0;
    bool autoRule = false;
    bool tidy = false;
    bool report = false;
    bool dryRun = false;
    bool reflow = false; ///< 重新分段 on for this run, whatever the settings say
    QString title;
    QString author;
    QString cover;
    int chapsInBook = -1;
    QString format; ///< "epub", "azw3"; empty: as --out names it, else EPUB
    int vertical = -1; ///< -1: as config.ini says
    int maxBookMB = -1;
    QList<int> ignore;
    CliHost::Overwrite overwrite = CliHost::Ask;
    bool yes = false;
    QString review;      ///< a review file to take up
    bool resume = false; ///< take up each novel's saved review, where there is one
};

/// Reads the arguments (the program's name first) into `o`: an error text, or an empty one
/// when the arguments are sound.
QString parse(const QStringList& args, Options& o);

/// The command: the first argument that is neither an option nor an option's value. Read
/// before any Qt application exists, from the same option table as parse().
QByteArrayView commandWord(int argc, char** argv);
/// Whether the command is epub, which draws covers, and so needs a GUI application.
bool wantsGui(int argc, char** argv);
