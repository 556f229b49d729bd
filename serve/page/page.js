// The page of op-station-serve: shows the station that the server runs and
// passes on what the person at this page does with its keys, as the window
// does. Its messages are described in one place,
// serve/include/opstation/serve/page_protocol.h.
"use strict";

(function () {
    const face = document.getElementById("face");
    const keys = Array.from(face.querySelectorAll("button.key"));
    const lines = Array.from(face.querySelectorAll("output[data-line]"));
    const leds = new Map(Array.from(face.querySelectorAll("g.led"), (led) => [led.dataset.led, led]));
    const hint = face.querySelector("input.hint");
    const title = document.getElementById("title");
    const roleNote = document.getElementById("role");
    const status = document.getElementById("status");
    const alertBox = document.getElementById("alert");
    const announcer = document.getElementById("announcer");

    let socket = null;
    let operating = false;
    let ended = false;
    let passedCodes = new Set();
    let ledOrder = [];
    let titleNote = "";  // " \u2014 recording" while the session is recorded, as in the window's title
    const pointers = new Map();  // pointerId -> the panel key it went down on
    const pcKeysDown = new Set();  // KeyboardEvent.code
    const showing = new Map();  // LED -> "off", "on" or "flashing"

    // The token comes once in the address; the cookie set with the page
    // keeps it, so it need not stay in the address bar or the history.
    const token = new URLSearchParams(location.search).get("token");
    if (token !== null) history.replaceState(null, "", location.pathname);

    function send(message) {
        if (operating && !ended && socket !== null && socket.readyState === WebSocket.OPEN) socket.send(JSON.stringify(message));
    }

    // A display line as drawn: NULs and other control characters as blanks.
    function shown(line) {
        return line.replace(/[\u0000-\u001f\u007f-\u009f]/g, " ");
    }

    function announce(text) {
        announcer.textContent = "";
        announcer.textContent = text;
    }

    function showLed(name, lit, shows, announceChange) {
        const led = leds.get(name);
        const lamp = led.querySelector(".lamp");
        lamp.setAttribute("fill", lit ? lamp.dataset.lit : lamp.dataset.dark);
        if (showing.get(name) === shows) return;
        showing.set(name, shows);
        const words = led.dataset.name + " LED: " + shows;
        led.setAttribute("aria-label", words);
        if (announceChange) announce(words);
    }

    function showState(state) {
        const first = showing.size === 0;
        document.title = state.title + titleNote;
        title.textContent = state.title + titleNote;
        state.lines.forEach((line, index) => {
            const text = shown(line);
            if (lines[index].textContent !== text) lines[index].textContent = text;
        });
        state.lit.forEach((lit, index) => showLed(ledOrder[index], lit === 1, state.shows[index], !first));
    }

    function letGo() {
        if (pointers.size > 0 || pcKeysDown.size > 0) send({t: "letgo"});
        pointers.clear();
        pcKeysDown.clear();
    }

    function stop(message) {
        letGo();
        ended = true;
        for (const key of keys) key.disabled = true;
        document.body.classList.add("stopped");
        status.textContent = "";
        alertBox.textContent = message;
        alertBox.hidden = false;
    }

    const handlers = {
        hello(hello) {
            operating = hello.role === "operator";
            passedCodes = new Set(hello.codes);
            ledOrder = hello.leds;
            for (const key of keys) key.disabled = !operating;
            titleNote = hello.recording ? " \u2014 recording" : "";
            roleNote.hidden = operating;
            status.textContent = (operating ? "Connected" : "Connected, watching") +
                (hello.recording ? "; this session is being recorded." : ".");
        },
        state: showState,
        failed(failure) {
            stop(failure.message);
        },
        closed(closing) {
            stop(closing.message);
        },
    };

    function connect() {
        const scheme = location.protocol === "https:" ? "wss:" : "ws:";
        const query = token !== null ? "?token=" + encodeURIComponent(token) : "";
        socket = new WebSocket(scheme + "//" + location.host + "/ws" + query);
        socket.onmessage = (event) => {
            const message = JSON.parse(event.data);
            const handler = handlers[message.t];
            if (handler) handler(message);
        };
        socket.onclose = (event) => {
            if (!ended) stop("The connection to the station ended" + (event.reason ? ": " + event.reason : "."));
        };
    }

    // Pointers: the key that took the press gets the release (capture), and
    // every button going down or up on it while it holds the pointer is a
    // press or a release, as the mouse is in the window.
    const kButtonBits = [1, 4, 2, 8, 16];

    function pointerDown(event) {
        const key = event.currentTarget;
        if (!operating || ended) return;
        event.preventDefault();
        face.focus({preventScroll: true});
        key.setPointerCapture(event.pointerId);
        pointers.set(event.pointerId, key.dataset.key);
        send({t: "down", key: key.dataset.key});
    }

    function pointerChord(event) {
        const key = pointers.get(event.pointerId);
        if (key === undefined || event.button < 0) return;
        const down = (event.buttons & (kButtonBits[event.button] || 0)) !== 0;
        send({t: down ? "down" : "up", key: key});
    }

    function pointerUp(event) {
        const key = pointers.get(event.pointerId);
        if (key === undefined) return;
        pointers.delete(event.pointerId);
        send({t: "up", key: key});
    }

    // Pressed by assistive technology (no pointer): a tap, as the window's
    // accessible press action is.
    function activated(event) {
        if (event.detail !== 0) return;
        send({t: "down", key: event.currentTarget.dataset.key});
        send({t: "up", key: event.currentTarget.dataset.key});
    }

    for (const key of keys) {
        key.disabled = true;
        key.addEventListener("pointerdown", pointerDown);
        key.addEventListener("pointermove", pointerChord);
        key.addEventListener("pointerup", pointerUp);
        key.addEventListener("pointercancel", pointerUp);
        key.addEventListener("lostpointercapture", pointerUp);
        key.addEventListener("click", activated);
        key.addEventListener("contextmenu", (event) => event.preventDefault());
    }

    // PC keys by their place on a US keyboard, so that every layout works;
    // the hint box takes its own keys, and with Ctrl, Alt or Meta a key is
    // the browser's.
    document.addEventListener("keydown", (event) => {
        if (!operating || event.target === hint || !passedCodes.has(event.code)) return;
        if (event.ctrlKey || event.altKey || event.metaKey) return;
        event.preventDefault();
        pcKeysDown.add(event.code);
        send({t: "keydown", code: event.code});
    });
    document.addEventListener("keydown", (event) => {
        if (event.key === "Tab") document.body.classList.add("tabbing");
    });
    document.addEventListener("keyup", (event) => {
        if (!pcKeysDown.has(event.code)) return;
        event.preventDefault();
        pcKeysDown.delete(event.code);
        send({t: "keyup", code: event.code});
    });

    // Key-ups that go elsewhere never come back: a page that loses the
    // focus lets go of what it holds.
    hint.addEventListener("focus", () => {
        for (const code of pcKeysDown) send({t: "keyup", code: code});
        pcKeysDown.clear();
    });
    window.addEventListener("blur", letGo);
    window.addEventListener("pagehide", letGo);
    document.addEventListener("visibilitychange", () => {
        if (document.hidden) letGo();
    });

    face.focus({preventScroll: true});
    connect();
})();
