// Drives tib-server's page in headless Chromium, spoken to over the
// DevTools protocol on a pipe: types each name=value into the form, waits
// for the diagram, then writes the bytes the page's image loaded and the
// bytes its shown URL fetches from outside the browser, and prints what it
// saw as "key value" lines.
// Usage: node drive.mjs CHROMIUM PAGE_URL PROFILE_DIR OUT_DIR name=value...
import { spawn } from "node:child_process";
import { writeFileSync } from "node:fs";

const [chromium, pageUrl, profile, outDir, ...fields] = process.argv.slice(2);
const browser = spawn(chromium, [
  "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
  "--no-first-run", "--disable-background-networking",
  "--disable-component-update", "--disable-sync",
  `--user-data-dir=${profile}`, "--remote-debugging-pipe", "about:blank",
], { stdio: ["ignore", "ignore", "ignore", "pipe", "pipe"] });
const limit = setTimeout(() => {
  console.log("error the page did not finish within 60 s");
  browser.kill("SIGKILL");
  process.exit(2);
}, 60000);

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

await send("Page.navigate", { url: pageUrl }, sessionId);
while (await evaluate("document.readyState") !== "complete") {
  await new Promise((resolve) => setTimeout(resolve, 20));
}
for (const field of fields) {
  const [name, value] = [field.slice(0, field.indexOf("=")), field.slice(field.indexOf("=") + 1)];
  const element = `document.getElementById(${JSON.stringify(name)})`;
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
// Settled: the URL shown asks for what was typed, and the image at that URL
// has loaded or failed with its reason shown.
const typed = JSON.stringify(fields);
let seen;
for (;;) {
  seen = await evaluate(`(() => {
    const image = document.getElementById("diagram");
    const shown = document.getElementById("url").textContent;
    const query = [...new URLSearchParams(shown.split("?")[1])];
    return {
      width: image.naturalWidth, height: image.naturalHeight, src: image.src,
      shown, error: document.getElementById("error").textContent,
      settled: JSON.stringify(query.map(([n, v]) => n + "=" + v)) === ${JSON.stringify(typed)}
        && image.getAttribute("src") === shown && image.complete
        && (image.naturalWidth > 0 || document.getElementById("error").textContent !== "") };
  })()`);
  if (seen.settled) {
    break;
  }
  await new Promise((resolve) => setTimeout(resolve, 50));
}
delete seen.settled;
const loaded = await evaluate(`fetch(document.getElementById("diagram").src)
  .then((answer) => answer.arrayBuffer())
  .then((bytes) => {
    const all = new Uint8Array(bytes);
    let text = "";
    for (let i = 0; i < all.length; i += 8192) {
      text += String.fromCharCode(...all.subarray(i, i + 8192));
    }
    return btoa(text);
  })`);
writeFileSync(`${outDir}/loaded.png`, Buffer.from(loaded, "base64"));
const shown = await fetch(new URL(seen.shown, pageUrl));
writeFileSync(`${outDir}/shown.png`, Buffer.from(await shown.arrayBuffer()));
for (const [key, value] of Object.entries(seen)) {
  console.log(`${key} ${value}`);
}
await send("Browser.close", {}).catch(() => {});
clearTimeout(limit);
