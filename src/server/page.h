// The page tib-server answers at / and /index.html: a form to try diagrams
// with, the diagram beside it and its /board.png URL to copy. Plain HTML and
// a few lines of script, held in the program, with nothing from elsewhere.
#pragma once

#include <string_view>

namespace tib {

std::string_view tryItPage();

}  // namespace tib
