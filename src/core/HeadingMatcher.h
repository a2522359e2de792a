#pragma once

#include "core/cRegExp.h"

/// Tells chapter titles and volume headings on a line. A volume heading is looked for in the
/// text before the title (the whole line when there is none), so "第一卷 风起 第一章 少年" is
/// both, the volume first, while a title that starts the line is a chapter only.
class HeadingMatcher {
public:
    /// An empty volume pattern looks for no volumes. `decoded`: the lines are text this program
    /// decoded, known to be valid UTF-16 (which saves a check per line).
    HeadingMatcher(const QString& titleText, const QString& volumeText, bool decoded = false);

    /// Tests the line; afterwards `title` and `volume` hold their matches.
    bool match(const QString& text);

    cRegExp title;
    cRegExp volume;
    bool volumesOn = false;
    bool isTitle = false;
    bool isVolume = false;
};
