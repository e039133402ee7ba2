#pragma once
// A contact as IRC client scripts show it, so that every client shows the same lines and no
// script formats anything itself: the lines of a look-up by nick, and the lines added to the
// end of a /whois of a nick the book knows. Control characters are shown as escapes (\x03),
// so that a note can neither colour the chat nor split a line.

#include "tools/show_contact.h"

#include <QString>
#include <QStringList>

namespace palvane::tool {

// 'no contact "bobby"; nearest: kiwi' when the nick is only the nearest, then
// "kiwi: Hemi Walker <hemi@example.nz>, Auckland, New Zealand",
// "their time: 10:05:07 AM, Friday, January 1, 2027 (+13 h from yours)", and a line
// "notes: ..." for each line of the notes that is not blank.
QStringList chatLines(const ShownContact& contact);

// "sakura's local time: ..." and the note lines; nothing unless the nick is exactly the
// contact's, since a nearest match would tell about someone else.
QStringList whoisLines(const ShownContact& contact);

} // namespace palvane::tool
