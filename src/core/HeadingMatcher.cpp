#include "core/HeadingMatcher.h"

HeadingMatcher::HeadingMatcher(const QString& titleText, const QString& volumeText, bool decoded)
{
    title.InitRegexp(titleText);
    title.setTrustedInput(decoded);
    volumesOn = !volumeText.isEmpty();
    if (volumesOn) {
        volume.InitRegexp(volumeText);
        volume.setTrustedInput(decoded);
    }
}

bool HeadingMatcher::match(const QString& text)
{
    isTitle = title.GetMatch(text);
    isVolume = false;
    if (volumesOn) {
        const qsizetype before = isTitle ? title.matchStart() : text.size();
        if (before > 0) {
            isVolume = volume.GetMatch(isTitle ? text.left(before) : text);
        }
    }
    return isTitle || isVolume;
}
