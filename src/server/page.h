// The page tib-server answers at / and /index.html: a form to try diagrams
// with, the diagram beside it and its /board.png URL to copy, and a second
// mode that animates a pasted game, posted to /game.gif. Plain HTML and a few
// lines of script with nothing from elsewhere; its theme and piece set
// lists are those served, so it is built once at start.
#pragma once

#include <string>

#include "server/themes.h"

namespace tib {

// Names that are not UTF-8 text, or hold control characters, are left out
// of the lists: a page cannot send them back as they are.
std::string tryItPage(const Served& served);

}  // namespace tib
