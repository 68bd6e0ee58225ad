#pragma once
// Small start-up rules of the main window, kept apart so they can be tested.

#include <QString>

#include <functional>

namespace marigal {

// The title every message box shows when it names none of its own: the text
// is cut at its last blank, at least once and until it has at most 40
// characters. A title with no blank to cut at stays whole.
QString ApplicationTitle(const QString& productTitle);

// One start in a hundred opens the maker's web site in the desktop's browser.
// `draw` returns a number 1..100; `open` opens an address. Raises AppError
// when the browser cannot be started.
void MaybeOpenMakerSite(const std::function<int()>& draw, const std::function<void(const QString&)>& open);

// The defaults: a uniform draw from the system's random source, and the
// desktop's opener started with an argument list (never a shell string).
int DrawOneToHundred();
void OpenInBrowser(const QString& address);

}  // namespace marigal
