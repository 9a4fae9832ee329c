#include "server/page.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "server/request.h"
#include "tib/text/text_runs.h"

namespace tib {

namespace {

// The forms' fields carry the parameters' own names; the script sends those
// that differ from the defaults. A query given to the page fills the
// diagram's form, and #game opens the game's. The game goes as the body of a
// POST, its GET URL offered only when the server takes its request line. The
// lists of themes and piece sets go where the comments <!--themes--> and
// <!--pieces--> stand, their pictures where <!--themePictures--> and
// <!--piecePictures--> do (each a button that chooses it in the list named
// by data-for), the request line's limit where <!--requestLineLimit--> does.
constexpr std::string_view kPage = R"html(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>tib-server</title>
<style>
body { font: 15px/1.4 sans-serif; margin: 1.5em; color: #222; }
main { display: flex; flex-wrap: wrap; gap: 2em; align-items: flex-start; }
form { display: grid; grid-template-columns: auto 18em; gap: .45em .8em; }
label { align-self: center; }
input[type=checkbox] { justify-self: start; }
input[type=text], textarea { font-family: monospace; }
textarea { height: 14em; }
nav { margin-bottom: 1em; }
nav label { margin-right: 1.5em; }
.url { display: block; margin-top: .8em; max-width: 40em; word-break: break-all; }
.fetch { margin-top: .8em; max-width: 40em; word-break: break-all; }
.error { color: #882020; min-height: 1.4em; white-space: pre-wrap; }
.pictures { grid-column: 1 / -1; display: flex; flex-wrap: wrap; gap: .2em; max-width: 26em; }
.pictures button { padding: 1px; border: 2px solid transparent; background: none; }
.pictures button[aria-pressed=true] { border-color: #2060a0; }
.pictures img { width: 40px; height: 40px; display: block; }
</style>
</head>
<body>
<h1>tib-server</h1>
<nav>
<label><input type="radio" name="mode" value="diagram" checked> diagram</label>
<label><input type="radio" name="mode" value="game"> game</label>
</nav>
<section id="diagramMode">
<p>Type a position and what to draw on it: the diagram and its URL follow.
Arrows and highlights are comma lists such as <code>Ge2e4,Rd5</code>
(colour G, R, Y or B, then one square or two).</p>
<main>
<form id="form" autocomplete="off">
<label for="fen">FEN</label>
<input type="text" id="fen" name="fen" value="rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w">
<label for="size">size</label>
<input type="number" id="size" name="size" value="400" min="1">
<label for="theme">theme</label>
<select id="theme" name="theme"><!--themes--></select>
<div class="pictures" data-for="theme"><!--themePictures--></div>
<label for="piece">pieces</label>
<select id="piece" name="piece"><!--pieces--></select>
<div class="pictures" data-for="piece"><!--piecePictures--></div>
<label for="orientation">orientation</label>
<select id="orientation" name="orientation">
<option value="white">white</option><option value="black">black</option>
</select>
<label for="coordinates">coordinates</label>
<input type="checkbox" id="coordinates" name="coordinates" checked>
<label for="lastMove">last move</label>
<input type="text" id="lastMove" name="lastMove" placeholder="e2e4">
<label for="check">check</label>
<input type="text" id="check" name="check" placeholder="e1 or true">
<label for="arrows">arrows</label>
<input type="text" id="arrows" name="arrows" placeholder="Ge2e4,Rd8d1,Bf6">
<label for="highlight">highlight</label>
<input type="text" id="highlight" name="highlight" placeholder="Yd5,Re4">
<label for="format">output</label>
<select id="format">
<option value="png">PNG</option><option value="svg">SVG</option>
</select>
</form>
<div>
<img id="diagram" alt="diagram">
<div id="error" class="error"></div>
<a id="url" class="url"></a>
</div>
</main>
</section>
<section id="gameMode" hidden>
<p>Paste a game in PGN: its moves follow as an animated GIF or WebP, or
as an MP4 or WebM video, and its URL
(or, for a game too long for one, a command that fetches it).
A move that cannot be played is named here instead.</p>
<main>
<form id="gameForm" autocomplete="off">
<label for="gameSize">size</label>
<input type="number" id="gameSize" name="size" placeholder="480" min="1">
<label for="gameTheme">theme</label>
<select id="gameTheme" name="theme"><!--themes--></select>
<div class="pictures" data-for="gameTheme"><!--themePictures--></div>
<label for="gamePiece">pieces</label>
<select id="gamePiece" name="piece"><!--pieces--></select>
<div class="pictures" data-for="gamePiece"><!--piecePictures--></div>
<label for="gameOrientation">orientation</label>
<select id="gameOrientation" name="orientation">
<option value="white">white</option><option value="black">black</option>
</select>
<label for="gameCoordinates">coordinates</label>
<input type="checkbox" id="gameCoordinates" name="coordinates" checked>
<label for="gameDelay">delay</label>
<input type="text" id="gameDelay" name="delay" placeholder="centiseconds a move, or real">
<label for="gameEval">evaluation bar</label>
<input type="checkbox" id="gameEval" name="eval" checked>
<label for="gameMaterial">material</label>
<input type="checkbox" id="gameMaterial" name="material" checked>
<label for="gameJudge">judge moves</label>
<input type="checkbox" id="gameJudge" name="judge">
<label for="gameFormat">output</label>
<select id="gameFormat">
<option value="gif">GIF</option><option value="webp">WebP</option>
<option value="mp4">MP4</option><option value="webm">WebM</option>
</select>
<label for="gamePgn">PGN</label>
<textarea id="gamePgn" name="pgn" spellcheck="false"
 placeholder="1. e4 e5 2. Nf3 Nc6 3. Bb5 a6"></textarea>
</form>
<div>
<img id="game" alt="game" hidden>
<video id="gameVideo" controls autoplay loop muted playsinline hidden></video>
<div id="gameNote" class="error"></div>
<a id="gameUrl" class="url"></a>
<div id="gameFetch" class="fetch" hidden>Too long for a URL: save the PGN as
game.pgn and fetch it with<br><code id="gameCurl"></code></div>
</div>
</main>
</section>
<script>
const form = document.getElementById("form");
const gameForm = document.getElementById("gameForm");
const defaults = { orientation: "white", coordinates: true, eval: true,
  material: true, judge: false };
const requestLineLimit = <!--requestLineLimit-->;
// The named fields unlike their defaults, but the one left out.
function queryOf(fields, leftOut) {
  const query = new URLSearchParams();
  for (const field of fields.elements) {
    const value = field.type === "checkbox" ? field.checked : field.value;
    if (field.name !== "" && field.name !== leftOut && value !== ""
        && value !== defaults[field.name]) {
      query.set(field.name, field.type === "checkbox" ? (value ? "1" : "0") : value);
    }
  }
  return query;
}
function showUrl(id, url) {
  const link = document.getElementById(id);
  link.textContent = url;
  link.href = url;
}
function update() {
  const path = "/board." + document.getElementById("format").value;
  const url = path + "?" + queryOf(form).toString();
  showUrl("url", url);
  document.getElementById("error").textContent = "";
  document.getElementById("diagram").src = url;
}
document.getElementById("diagram").onerror = async () => {
  const answer = await fetch(document.getElementById("url").href);
  document.getElementById("error").textContent = await answer.text();
};
// A game takes a while: the one asked for last is shown, earlier ones are
// dropped, and a refusal shows the server's line. A video plays in a
// <video>, the pictures in the <img>.
let drawing;
async function updateGame() {
  const format = document.getElementById("gameFormat").value;
  const video = document.getElementById("gameVideo");
  const picture = document.getElementById("game");
  const moving = format === "mp4" || format === "webm";
  const image = moving ? video : picture;
  const other = moving ? picture : video;
  other.hidden = true;
  const note = document.getElementById("gameNote");
  drawing?.abort();
  const pgn = document.getElementById("gamePgn").value;
  const none = pgn.trim() === "";
  const query = queryOf(gameForm, "pgn");
  const path = "/game." + format;
  const posted = path + "?" + query.toString();
  query.set("pgn", pgn);
  const url = path + "?" + query.toString();
  // URLSearchParams writes ASCII only: its length is its bytes.
  const fits = ("GET " + url + " HTTP/1.1\r\n").length <= requestLineLimit;
  showUrl("gameUrl", !none && fits ? url : "");
  document.getElementById("gameFetch").hidden = none || fits;
  document.getElementById("gameCurl").textContent = none || fits ? "" :
    "curl --data-binary @game.pgn -H 'Content-Type: application/x-chess-pgn' '"
    + location.origin + posted + "' -o game." + format;
  if (none) {
    note.textContent = "";
    image.hidden = true;
    return;
  }
  const request = drawing = new AbortController();
  note.textContent = "drawing\u2026";
  try {
    const answer = await fetch(posted, { method: "POST", body: pgn,
      headers: { "Content-Type": "application/x-chess-pgn" },
      signal: request.signal });
    const body = answer.ok ? await answer.blob() : await answer.text();
    if (answer.ok) {
      URL.revokeObjectURL(image.src);
      image.src = URL.createObjectURL(body);
      image.hidden = false;
    } else {
      image.hidden = true;
    }
    note.textContent = answer.ok ? "" : body;
  } catch (error) {
    if (request.signal.aborted) {
      return;
    }
    image.hidden = true;
    note.textContent = "cannot reach the server: " + error.message;
  }
}
function showMode() {
  const game = document.querySelector("input[name=mode]:checked").value === "game";
  document.getElementById("diagramMode").hidden = game;
  document.getElementById("gameMode").hidden = !game;
  history.replaceState(null, "", game ? "#game" : location.pathname + location.search);
}
for (const [name, value] of new URLSearchParams(location.search)) {
  const field = form.elements[name === "lastmove" ? "lastMove" : name];
  if (field && field.type === "checkbox") {
    field.checked = !["0", "no", "false"].includes(value);
  } else if (field) {
    field.value = value;
  }
}
// One picture once typing pauses, not one for each key.
function whenTypingPauses(fields, then, wait) {
  let pause;
  fields.addEventListener("input", () => {
    clearTimeout(pause);
    pause = setTimeout(then, wait);
  });
  fields.addEventListener("submit", (event) => {
    event.preventDefault();
    clearTimeout(pause);
    then();
  });
}
// A picture chooses its theme or set in the list, which shows the choice.
for (const pictures of document.querySelectorAll(".pictures")) {
  const list = document.getElementById(pictures.dataset.for);
  const mark = () => {
    for (const button of pictures.children) {
      button.setAttribute("aria-pressed", button.dataset.value === list.value);
    }
  };
  pictures.addEventListener("click", (event) => {
    const button = event.target.closest("button");
    if (button) {
      list.value = button.dataset.value;
      list.dispatchEvent(new Event("input", { bubbles: true }));
      mark();
    }
  });
  list.addEventListener("change", mark);
  mark();
}
whenTypingPauses(form, update, 300);
whenTypingPauses(gameForm, updateGame, 600);
for (const radio of document.querySelectorAll("input[name=mode]")) {
  radio.addEventListener("change", showMode);
  radio.checked = (radio.value === "game") === (location.hash === "#game");
}
showMode();
update();
</script>
</body>
</html>
)html";

// Names come from folder names: every character with a meaning in HTML is
// written as a reference.
std::string escapedHtml(std::string_view text) {
  std::string escaped;
  for (const char c : text) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      case '\'':
        escaped += "&#39;";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

bool listable(const std::string& name) {
  const bool control = std::any_of(name.begin(), name.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
  });
  return !control && encodeUtf8(decodeUtf8(name)) == name;
}

std::string option(const std::string& value, const std::string& label) {
  return "<option value=\"" + escapedHtml(value) + "\">" + escapedHtml(label) +
         "</option>";
}

// A list's entries: the value sent and the name shown.
using Choices = std::vector<std::pair<std::string, std::string>>;

Choices themeChoices(const Themes& themes) {
  const auto alias = themes.find(kDefaultThemeAlias);
  const auto standard = themes.find("");
  // The alias is the default theme's second name unless a folder took it.
  const bool aliasIsDefault = alias != themes.end() &&
                              standard != themes.end() &&
                              alias->second.artwork == standard->second.artwork;
  Choices choices;
  for (const auto& [name, theme] : themes) {
    if (name.empty()) {
      choices.emplace_back(name, aliasIsDefault ? std::string("default (") +
                                                      kDefaultThemeAlias + ")"
                                                : "default");
    } else if (listable(name) &&
               !(aliasIsDefault && name == kDefaultThemeAlias)) {
      choices.emplace_back(name, name);
    }
  }
  return choices;
}

Choices pieceChoices(const PieceSets& pieceSets) {
  Choices choices;
  for (const auto& [name, set] : pieceSets) {
    if (listable(name)) {
      choices.emplace_back(name, name);
    }
  }
  return choices;
}

std::string options(const Choices& choices) {
  std::string text;
  for (const auto& [value, label] : choices) {
    text += option(value, label);
  }
  return text;
}

// A name in a query: every byte but letters, digits and -._~ escaped.
std::string queryValue(std::string_view text) {
  static constexpr std::string_view kHex = "0123456789ABCDEF";
  std::string encoded;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (std::isalnum(byte) != 0 || c == '-' || c == '.' || c == '_' ||
        c == '~') {
      encoded += c;
    } else {
      encoded += '%';
      encoded += kHex[byte >> 4U];
      encoded += kHex[byte & 15U];
    }
  }
  return encoded;
}

// The button of one theme's or set's picture, for a name the lists show.
std::string picture(const char* parameter, const std::string& value,
                    const std::string& label) {
  return R"(<button type="button" data-value=")" + escapedHtml(value) +
         R"(" title=")" + escapedHtml(label) +
         R"("><img loading="lazy" src="/thumbnail.png?)" + parameter + "=" +
         escapedHtml(queryValue(value)) + R"(" alt=")" + escapedHtml(label) +
         R"("></button>)";
}

std::string pictures(const char* parameter, const Choices& choices) {
  std::string text;
  for (const auto& [value, label] : choices) {
    text += picture(parameter, value, label);
  }
  return text;
}

// The page with each marker replaced by its text, the texts not read again.
std::string filledIn(
    std::string_view page,
    const std::vector<std::pair<std::string_view, std::string>>& parts) {
  std::string filled;
  for (std::size_t at = 0; at < page.size();) {
    const auto part =
        std::find_if(parts.begin(), parts.end(), [&](const auto& candidate) {
          return page.substr(at, candidate.first.size()) == candidate.first;
        });
    if (part == parts.end()) {
      filled += page[at++];
    } else {
      filled += part->second;
      at += part->first.size();
    }
  }
  return filled;
}

}  // namespace

std::string tryItPage(const Served& served) {
  const Choices themes = themeChoices(served.themes);
  const Choices sets = pieceChoices(served.pieceSets);
  return filledIn(
      kPage, {{"<!--themes-->", options(themes)},
              {"<!--pieces-->", option("", "the theme's own") + options(sets)},
              {"<!--themePictures-->", pictures("theme", themes)},
              {"<!--piecePictures-->", pictures("piece", sets)},
              {"<!--requestLineLimit-->", std::to_string(kRequestLineLimit)}});
}

}  // namespace tib
