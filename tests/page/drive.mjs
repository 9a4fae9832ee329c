// Drives tib-server's page in headless Chromium, spoken to over the
// DevTools protocol on a pipe. Reads the theme and piece lists, types each
// name=value into the diagram's form and waits for the diagram, then
// chooses SVG and waits for that; then, given game.name=value fields, opens
// the game mode, types those and waits for the GIF; given long.name=value
// fields (a long pgn among them), types those and waits for the GIF and the
// command shown in place of its URL; given limit=BYTES, pastes the games
// whose GET request line is that long and a byte longer; given broken=PGN,
// pastes that and waits for the refusal. Writes the bytes each image
// showed and the bytes its shown URL (or command) fetches from outside the
// browser, and prints what it saw as one JSON object.
// Usage: node drive.mjs SECONDS CHROMIUM PAGE_URL PROFILE_DIR OUT_DIR
//        name=value...
// and gives up after SECONDS.
import { spawn } from "node:child_process";
import { writeFileSync } from "node:fs";

const [seconds, chromium, pageUrl, profile, outDir, ...args] = process.argv.slice(2);
const browser = spawn(chromium, [
  "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
  "--no-first-run", "--disable-background-networking",
  "--disable-component-update", "--disable-sync",
  `--user-data-dir=${profile}`, "--remote-debugging-pipe", "about:blank",
], { stdio: ["ignore", "ignore", "ignore", "pipe", "pipe"] });
const giveUp = setTimeout(() => {
  console.log(JSON.stringify({ error: `the page did not finish within ${seconds} s` }));
  browser.kill("SIGKILL");
  process.exit(2);
}, Number(seconds) * 1000);

const split = (arg) => [arg.slice(0, arg.indexOf("=")), arg.slice(arg.indexOf("=") + 1)];
const fields = args.map(split).filter(([name]) => !["broken", "limit"].includes(name)
  && !name.startsWith("game.") && !name.startsWith("long."));
const prefixed = (prefix) => args.map(split).filter(([name]) => name.startsWith(prefix))
  .map(([name, value]) => [name.slice(prefix.length), value]);
const gameFields = prefixed("game.");
const longFields = prefixed("long.");
const broken = args.map(split).find(([name]) => name === "broken")?.[1];
const limit = args.map(split).find(([name]) => name === "limit")?.[1];

// Messages are JSON texts, each ended by a NUL byte.
const waiting = new Map();
let nextId = 1;
let received = "";
browser.stdio[4].on("data", (chunk) => {
  received += chunk.toString();
  for (let end; (end = received.indexOf("\0")) >= 0;) {
    const message = JSON.parse(received.slice(0, end));
    received = received.slice(end + 1);
    const reply = waiting.get(message.id);
    if (reply) {
      waiting.delete(message.id);
      if (message.error) {
        reply.reject(new Error(JSON.stringify(message.error)));
      } else {
        reply.resolve(message.result);
      }
    }
  }
});
function send(method, params, sessionId) {
  const id = nextId++;
  browser.stdio[3].write(JSON.stringify({ id, method, params, sessionId }) + "\0");
  return new Promise((resolve, reject) => waiting.set(id, { resolve, reject }));
}

const { targetId } = await send("Target.createTarget", { url: "about:blank" });
const { sessionId } = await send("Target.attachToTarget", { targetId, flatten: true });
async function evaluate(expression) {
  const { result, exceptionDetails } = await send("Runtime.evaluate",
    { expression, awaitPromise: true, returnByValue: true }, sessionId);
  if (exceptionDetails) {
    throw new Error(JSON.stringify(exceptionDetails));
  }
  return result.value;
}
const pause = () => new Promise((resolve) => setTimeout(resolve, 50));
async function waitFor(expression) {
  let seen;
  while (!(seen = await evaluate(expression)).settled) {
    await pause();
  }
  delete seen.settled;
  return seen;
}

// Types the fields into the form as a person would: clicks, choices from
// the lists, text replaced by typing.
async function fill(formId, typed) {
  for (const [name, value] of typed) {
    const element = `document.getElementById(${JSON.stringify(formId)}).elements[${JSON.stringify(name)}]`;
    const type = await evaluate(`${element}.type`);
    if (type === "checkbox") {
      if (await evaluate(`${element}.checked`) !== (value === "1")) {
        await evaluate(`${element}.click()`);
      }
    } else if (type === "select-one") {
      await evaluate(`${element}.value = ${JSON.stringify(value)};
        ${element}.dispatchEvent(new Event("input", { bubbles: true }))`);
    } else {
      await evaluate(`${element}.focus(); ${element}.select()`);
      await send("Input.insertText", { text: value }, sessionId);
    }
  }
}
// Whether the URL shown asks for just these fields, in order.
function asks(shown, typed) {
  return `(JSON.stringify([...new URLSearchParams(String(${shown}).split("?")[1])])
    === ${JSON.stringify(JSON.stringify(typed))})`;
}
const textOf = (id) => `document.getElementById(${JSON.stringify(id)}).textContent`;
// The bytes the image at url shows, fetched in the page.
async function save(url, file) {
  const bytes = await evaluate(`fetch(${JSON.stringify(url)})
    .then((answer) => answer.arrayBuffer())
    .then((bytes) => {
      const all = new Uint8Array(bytes);
      let text = "";
      for (let i = 0; i < all.length; i += 8192) {
        text += String.fromCharCode(...all.subarray(i, i + 8192));
      }
      return btoa(text);
    })`);
  writeFileSync(`${outDir}/${file}`, Buffer.from(bytes, "base64"));
}
async function saveShown(shown, file) {
  const answer = await fetch(new URL(shown, pageUrl));
  writeFileSync(`${outDir}/${file}`, Buffer.from(await answer.arrayBuffer()));
}

await send("Page.navigate", { url: pageUrl }, sessionId);
while (await evaluate("document.readyState") !== "complete") {
  await pause();
}
const report = await evaluate(`(() => {
  const values = (id) => [...document.getElementById(id).options].map((o) => o.value);
  return { themes: values("theme"), pieces: values("piece"),
    gameThemes: values("gameTheme"), gamePieces: values("gamePiece") };
})()`);

await fill("form", fields);
// Settled: the URL shown asks for what was typed, and the image at that URL
// has loaded or failed with its reason shown.
report.diagram = await waitFor(`(() => {
  const image = document.getElementById("diagram");
  const shown = document.getElementById("url").textContent;
  const error = document.getElementById("error").textContent;
  return {
    width: image.naturalWidth, height: image.naturalHeight, src: image.src,
    shown, error,
    settled: ${asks("shown", fields)} && image.getAttribute("src") === shown
      && image.complete && (image.naturalWidth > 0 || error !== "") };
})()`);
await save(report.diagram.src, "loaded.png");
await saveShown(report.diagram.shown, "shown.png");
// Whatever /board.svg answers, the URL asks for it with the same fields.
await fill("form", [["format", "svg"]]);
report.svg = await waitFor(`(() => {
  const image = document.getElementById("diagram");
  const shown = ${textOf("url")};
  return { shown, settled: shown.startsWith("/board.svg?")
    && image.getAttribute("src") === shown && image.complete };
})()`);

// Settled: the URL shown, or the one in the command shown instead, asks for
// what was typed (the pgn left out of the command's), and nothing is being
// drawn: the GIF is shown or the refusal is.
const gameSeen = (typed) => `(() => {
  const image = document.getElementById("game");
  const note = ${textOf("gameNote")};
  const shown = ${textOf("gameUrl")};
  const fetching = document.getElementById("gameFetch").checkVisibility();
  const curl = fetching ? ${textOf("gameCurl")} : "";
  const asked = shown !== "" ? ${asks("shown", typed)}
    : ${asks("curl.split(\"'\")[3]", typed.filter(([name]) => name !== "pgn"))};
  return {
    width: image.naturalWidth, hidden: image.hidden, src: image.src, note,
    shown, curl, fetching, visible: !document.getElementById("gameMode").hidden,
    settled: asked && !note.startsWith("drawing")
      && (note !== "" || (!image.hidden && image.complete && image.naturalWidth > 0)) };
})()`;
// The game's fields as typed so far, with this PGN.
let typed = gameFields;
const withPgn = (pgn) => [...typed.filter(([name]) => name !== "pgn"), ["pgn", pgn]];
// What the page showed is wiped first: the command shown stays the same
// from one long game to the next, and only what the page shows anew counts.
async function forget() {
  await evaluate(`for (const id of ["gameUrl", "gameCurl"]) {
    document.getElementById(id).textContent = "";
  }`);
}
async function paste(pgn) {
  await forget();
  await fill("gameForm", [["pgn", pgn]]);
  return waitFor(gameSeen(withPgn(pgn)));
}
if (gameFields.length > 0) {
  await evaluate(`document.querySelector("input[name=mode][value=game]").click()`);
  await fill("gameForm", gameFields);
  report.game = await waitFor(gameSeen(gameFields));
  await save(report.game.src, "loaded.gif");
  await saveShown(report.game.shown, "shown.gif");
}
if (longFields.length > 0) {
  const pgn = longFields.find(([name]) => name === "pgn")[1];
  typed = [...typed.filter(([name]) => name !== "pgn"), ...longFields];
  await forget();
  await fill("gameForm", longFields);
  report.long = await waitFor(gameSeen(typed));
  await save(report.long.src, "long.gif");
  // As the command shown does it.
  const answer = await fetch(report.long.curl.split("'")[3], { method: "POST", body: pgn,
    headers: { "Content-Type": report.long.curl.split("'")[1].split(": ")[1] } });
  writeFileSync(`${outDir}/long-posted.gif`, Buffer.from(await answer.arrayBuffer()));
}
if (limit !== undefined) {
  // A comment of a's: a is the same in the request line as in the PGN.
  const padded = (a) => `1. e4 e5 {${"a".repeat(a)}} *`;
  const lineOf = (pgn) => `GET /game.gif?${new URLSearchParams(withPgn(pgn))} HTTP/1.1\r\n`;
  const fitting = padded(Number(limit) - lineOf(padded(0)).length);
  report.limit = [];
  for (const pgn of [fitting, fitting.replace("{", "{a")]) {
    const seen = await paste(pgn);
    const url = new URL(lineOf(pgn).split(" ")[1], pageUrl);
    seen.line = lineOf(pgn).length;
    seen.status = (await fetch(url)).status;
    report.limit.push(seen);
  }
}
if (broken !== undefined) {
  report.broken = await paste(broken);
  await saveShown(report.broken.shown, "broken.txt");
}
console.log(JSON.stringify(report));
await send("Browser.close", {}).catch(() => {});
clearTimeout(giveUp);
