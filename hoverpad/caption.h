#pragma once
// Reading a caption's access-key marks; shared by the button and its accessible face.
#include <QString>

namespace hoverpad {

// Index of the "&" that marks the access key, or -1. The scan runs from the
// last character backwards; "&&" is a literal ampersand and is skipped.
int accessKeyMarker(const QString &caption);

// The caption as a reader sees it: "&&" is one ampersand, other single ampersands vanish.
QString plainCaption(const QString &caption);

} // namespace hoverpad
