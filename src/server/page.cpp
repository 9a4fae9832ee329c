#include "server/page.h"

namespace tib {

namespace {

// The form's fields carry the parameters' own names; the script sends those
// that differ from the defaults. A query given to the page fills the form.
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
input[type=text] { font-family: monospace; }
#url { display: block; margin-top: .8em; max-width: 40em; word-break: break-all; }
#error { color: #882020; min-height: 1.4em; }
</style>
</head>
<body>
<h1>tib-server</h1>
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
<input type="text" id="theme" name="theme" placeholder="default, green, blue">
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
</form>
<div>
<img id="diagram" alt="diagram">
<div id="error"></div>
<a id="url"></a>
</div>
</main>
<script>
const form = document.getElementById("form");
const defaults = { size: "", orientation: "white", coordinates: true };
function boardUrl() {
  const query = new URLSearchParams();
  for (const field of form.elements) {
    const value = field.type === "checkbox" ? field.checked : field.value;
    if (value !== "" && value !== defaults[field.name]) {
      query.set(field.name, field.type === "checkbox" ? (value ? "1" : "0") : value);
    }
  }
  return "/board.png?" + query.toString();
}
function update() {
  const url = boardUrl();
  const link = document.getElementById("url");
  link.textContent = url;
  link.href = url;
  document.getElementById("error").textContent = "";
  document.getElementById("diagram").src = url;
}
document.getElementById("diagram").onerror = async () => {
  const answer = await fetch(document.getElementById("url").href);
  document.getElementById("error").textContent = await answer.text();
};
for (const [name, value] of new URLSearchParams(location.search)) {
  const field = form.elements[name === "lastmove" ? "lastMove" : name];
  if (field && field.type === "checkbox") {
    field.checked = !["0", "no", "false"].includes(value);
  } else if (field) {
    field.value = value;
  }
}
// One diagram once typing pauses, not one for each key.
let pause;
form.addEventListener("input", () => {
  clearTimeout(pause);
  pause = setTimeout(update, 300);
});
form.addEventListener("submit", (event) => event.preventDefault());
update();
</script>
</body>
</html>
)html";

}  // namespace

std::string_view tryItPage() { return kPage; }

}  // namespace tib
