// The page side of the bridge between the web client and Parlivo, injected at document start.
// The host declares wqPlatform, wqDebug and wqPatchPrefixes just before this script. It
// defines the functions the host calls (wq...) and turns the page's own notifications into
// messages to the host. Every function does nothing harmful on a page that lacks what it looks
// for: it keeps its state on the document element and touches nothing else it cannot find.
(function () {
    "use strict";
    // Frames of other origins (media players, previews) get nothing of the bridge.
    if (window !== window.top || window.wqBridge) return;

    var root = document.documentElement;
    var handlers = (window.webkit && window.webkit.messageHandlers) || {};
    var debug = typeof wqDebug !== "undefined" && wqDebug === true;
    var prefixes = typeof wqPatchPrefixes !== "undefined" && Array.isArray(wqPatchPrefixes) ? wqPatchPrefixes : [];

    function post(handler, body) {
        try {
            if (handlers[handler]) handlers[handler].postMessage(body);
        } catch (error) {
            // A body the bridge cannot carry is dropped, never thrown at the page.
        }
    }
    function log(text) {
        if (debug) post("logHandler", String(text));
    }
    function flag(value) {
        return value === true || value === "true";
    }
    // The bridge's state, for the page's own styles: data-wq-* attributes on <html>.
    function mark(name, value) {
        if (!root) root = document.documentElement;
        if (!root) return;
        if (value === null || value === undefined || value === false) root.removeAttribute("data-wq-" + name);
        else root.setAttribute("data-wq-" + name, value === true ? "" : String(value));
    }
    function announce(name, detail) {
        try {
            window.dispatchEvent(new CustomEvent("wq" + name, { detail: detail }));
        } catch (error) {
            log("listener failed: " + error);
        }
    }

    var bridge = window.wqBridge = { post: post, log: log, state: {} };

    // --- start-up: "didInit" (document end), "willStartup" once native init is done, and
    //     "didStartup" when the page has loaded. ---
    var startup = { willStartup: false, didStartup: false };
    function didStartupWhenLoaded() {
        if (startup.didStartup) return;
        if (document.readyState !== "complete") {
            window.addEventListener("load", didStartupWhenLoaded, { once: true });
            return;
        }
        startup.didStartup = true;
        post("eventHandler", "didStartup");
    }
    window.wqInit = {
        didFinishNativeInit: function () {
            if (startup.willStartup) return;
            startup.willStartup = true;
            post("eventHandler", "willStartup");
            didStartupWhenLoaded();
        }
    };

    // --- the page's text kept by the host: a JSON object of the bridge's own keys ---
    var store = {};
    window.wqLocalWebStore = {
        update: function (text) {
            try {
                var parsed = JSON.parse(String(text));
                store = parsed && typeof parsed === "object" && !Array.isArray(parsed) ? parsed : {};
            } catch (error) {
                store = {};
            }
            announce("storeupdate", store);
        },
        get: function (key) {
            return Object.prototype.hasOwnProperty.call(store, key) ? store[key] : undefined;
        },
        set: function (key, value) {
            store[key] = value;
            post("localWebStore", JSON.stringify(store));
        }
    };

    // --- notifications: the page's own become the host's desktop notifications ---
    // An untagged notification's id is unique to this page load: after a reload an old
    // notification's id names nothing, never a newer notification of another chat.
    var pageLoad = Date.now().toString(36) + "-" + Math.floor(Math.random() * 0x7fffffff).toString(36);
    var notifications = new Map();
    var notificationCount = 0;
    var maximumKept = 200;
    // The notification's picture: read by the page itself (its own credentials), handed over
    // as a data URL; larger ones, or ones that take longer, are left out (the program's own
    // picture shows instead).
    var maximumIconBytes = 1024 * 1024;
    var iconWait = 3000;
    // Messages go to the host in the order of their notifications, each once its picture is read.
    var notified = Promise.resolve();

    function fire(target, type) {
        var event = new Event(type, { cancelable: true });
        target.dispatchEvent(event);
        var handler = target["on" + type];
        if (typeof handler === "function") {
            try {
                handler.call(target, event);
            } catch (error) {
                log("notification " + type + " handler failed: " + error);
            }
        }
    }
    // The Notifications API's DOMString: a number or any other value as its text form.
    function text(value) {
        return value === undefined ? "" : String(value);
    }
    function iconDataURL(icon) {
        if (icon === undefined || icon === null || icon === "") return Promise.resolve("");
        var url;
        try {
            url = new URL(String(icon), document.baseURI);
        } catch (error) {
            return Promise.resolve("");
        }
        if (url.protocol === "data:")
            return Promise.resolve(url.href.length <= maximumIconBytes * 4 / 3 + 256 ? url.href : "");
        if (url.protocol !== "http:" && url.protocol !== "https:" && url.protocol !== "blob:") return Promise.resolve("");
        var abort = typeof AbortController === "function" ? new AbortController() : null;
        var timer = setTimeout(function () { if (abort) abort.abort(); }, iconWait);
        function read(credentials) {
            return fetch(url.href, { credentials: credentials, signal: abort ? abort.signal : undefined })
                .then(function (response) {
                    if (!response.ok) throw new Error("status " + response.status);
                    if (Number(response.headers.get("Content-Length")) > maximumIconBytes) throw new Error("too large");
                    return response.blob();
                });
        }
        // Cross-origin with credentials needs the other server's consent; without them as the
        // next best.
        var sameOrigin = url.protocol === "blob:" || url.origin === location.origin;
        return (sameOrigin ? read("same-origin") : read("include").catch(function () { return read("omit"); }))
            .then(function (blob) {
                if (blob.size > maximumIconBytes) throw new Error("too large");
                if (blob.type && blob.type.indexOf("image/") !== 0) throw new Error("not an image: " + blob.type);
                return dataURLOf(blob);
            })
            .catch(function (error) {
                log("notification icon not read: " + error);
                return "";
            })
            .then(function (dataURL) {
                clearTimeout(timer);
                return dataURL;
            });
    }
    // Hands one notification to the host, after the ones before it; none that closed meanwhile.
    function notify(notification, title, body, icon, id) {
        var picture = iconDataURL(icon);
        notified = notified.then(function () { return picture; }).then(function (iconURL) {
            if (notification && notification.wqClosed) return;
            if (notification) notification.wqPosted = true;
            var message = { title: title, body: body, id: id };
            if (iconURL) message.icon = iconURL;
            post("incomingMessageHandler", message);
        });
    }
    class WQNotification extends EventTarget {
        constructor(title, options) {
            super();
            options = options || {};
            this.title = text(title);
            this.body = text(options.body);
            this.icon = options.icon == null ? "" : String(options.icon);
            this.tag = text(options.tag);
            this.data = options.data === undefined ? null : options.data;
            this.silent = !!options.silent;
            this.onclick = this.onshow = this.onclose = this.onerror = null;
            var id = this.tag || "wq-" + pageLoad + "-" + ++notificationCount;
            this.wqId = id;
            // A notification with the tag of one still standing replaces it (the host replaces
            // it on screen too).
            notifications.delete(id);
            notifications.set(id, this);
            if (notifications.size > maximumKept) notifications.delete(notifications.keys().next().value);
            notify(this, this.title, this.body, this.icon, id);
            var self = this;
            setTimeout(function () { fire(self, "show"); }, 0);
        }
        addEventListener(type, listener, options) {
            if (type === "click" && listener) this.wqClickListeners = (this.wqClickListeners || 0) + 1;
            return super.addEventListener(type, listener, options);
        }
        close() {
            if (this.wqClosed) return;
            this.wqClosed = true;
            // Only the standing one of its tag: one it replaced withdraws nothing of the new one.
            // It stays known here: many clients close their notifications after a few seconds, and
            // a reply the user typed as it went still belongs to its chat.
            if (notifications.get(this.wqId) === this && this.wqPosted)
                post("eventHandler", { action: "closeNotification", id: this.wqId });
            fire(this, "close");
        }
        static get permission() { return "granted"; }
        static get maxActions() { return 0; }
        static requestPermission(callback) {
            if (typeof callback === "function") callback("granted");
            return Promise.resolve("granted");
        }
    }
    try {
        Object.defineProperty(window, "Notification", { value: WQNotification, writable: true, configurable: true });
    } catch (error) {
        log("cannot replace Notification: " + error);
    }
    // A page that notifies through its service worker registration is heard the same way; the
    // host shows the notification, so the browser's is not shown as well.
    if (window.ServiceWorkerRegistration && ServiceWorkerRegistration.prototype.showNotification) {
        ServiceWorkerRegistration.prototype.showNotification = function (title, options) {
            options = options || {};
            notify(null, text(title), text(options.body), options.icon,
                   options.tag ? String(options.tag) : "wq-" + pageLoad + "-" + ++notificationCount);
            return Promise.resolve();
        };
    }

    // The notification the user clicked opens its chat the way the page itself said.
    function openChat(id) {
        var notification = notifications.get(String(id));
        if (!notification) return false;
        try {
            window.focus();
        } catch (error) {
            // focus is only a wish
        }
        fire(notification, "click");
        return true;
    }
    window.wqOpenChat = openChat;

    // --- replies and shared text: into a chat's editor, then Return ---
    // How long the chat a notification's click opens may take to show its editor, and the editor
    // to empty once Return has sent the text.
    var editorWait = 2000;
    var sendWait = 2000;

    function deepActiveElement() {
        var active = document.activeElement;
        while (active && active.shadowRoot && active.shadowRoot.activeElement) active = active.shadowRoot.activeElement;
        return active;
    }
    function isEditor(element) {
        if (!element || element.nodeType !== 1) return false;
        if (element.tagName === "TEXTAREA") return !element.disabled && !element.readOnly;
        return element.isContentEditable && !(element.parentElement && element.parentElement.isContentEditable);
    }
    // An editor the user can see: rendered, on the page's screen, inside nothing hidden, inert,
    // hidden from assistive technology or transparent.
    function isVisibleEditor(element) {
        if (!isEditor(element) || !element.isConnected) return false;
        if (element.closest("[hidden], [inert], [aria-hidden='true']")) return false;
        if (element.getClientRects().length === 0) return false;
        var box = element.getBoundingClientRect();
        if (box.width < 1 || box.height < 1) return false;
        if (box.right <= 0 || box.bottom <= 0 || box.left >= window.innerWidth || box.top >= window.innerHeight) return false;
        if (getComputedStyle(element).visibility !== "visible") return false;
        for (var node = element; node && node.nodeType === 1; node = node.parentElement)
            if (Number(getComputedStyle(node).opacity) === 0) return false;
        return true;
    }
    function visibleEditors() {
        return Array.prototype.filter.call(
            document.querySelectorAll('textarea, [contenteditable]:not([contenteditable="false"])'), isVisibleEditor);
    }
    function editorText(editor) {
        var value = editor.tagName === "TEXTAREA" ? editor.value : editor.innerText;
        return String(value || "").replace(/\r\n?/g, "\n").replace(/\u00a0/g, " ");
    }
    // Resolves with check()'s first true value, looked at whenever the document changes, focus
    // moves or input arrives, or with null once `milliseconds` have passed.
    function waitFor(check, milliseconds) {
        return new Promise(function (resolve) {
            var done = false, observer = null, timer = 0;
            var events = ["focusin", "input", "transitionend", "animationend"];
            function finish(value) {
                if (done) return;
                done = true;
                if (observer) observer.disconnect();
                events.forEach(function (type) { document.removeEventListener(type, test, true); });
                clearTimeout(timer);
                resolve(value || null);
            }
            function test() {
                var value = check();
                if (value) finish(value);
            }
            test();
            if (done) return;
            observer = new MutationObserver(test);
            observer.observe(document, { subtree: true, childList: true, attributes: true, characterData: true });
            events.forEach(function (type) { document.addEventListener(type, test, true); });
            timer = setTimeout(function () { finish(check()); }, milliseconds);
        });
    }
    function hasClickHandler(notification) {
        return typeof notification.onclick === "function" || notification.wqClickListeners > 0;
    }
    // The editor of the chat that the notification's click opened: the visible editor the click
    // focused, else the one visible editor it made visible. Never one that was there before
    // unless the click focused it, or the click left the page's one chat on screen as it was
    // (below); never a hidden one. Null when the click showed none in time.
    function editorOpenedBy(notification) {
        var before = new Set(visibleEditors());
        var onlyOneBefore = before.size === 1 ? before.values().next().value : null;
        var focused = deepActiveElement();
        // What had the focus before is no sign of the chat the click opens.
        if (focused && focused !== document.body && typeof focused.blur === "function") focused.blur();
        fire(notification, "click");
        return waitFor(function () {
            var active = deepActiveElement();
            if (isVisibleEditor(active)) return active;
            var shown = visibleEditors().filter(function (editor) { return !before.has(editor); });
            return shown.length === 1 ? shown[0] : null;
        }, editorWait).then(function (editor) {
            if (editor) return editor;
            // The notification's chat was the one on screen already: the page handled the click
            // and, for the whole wait, showed no other chat. With one editor in sight before and
            // after, that editor is the chat's; with several, nothing tells which.
            var now = visibleEditors();
            if (hasClickHandler(notification) && onlyOneBefore && now.length === 1 && now[0] === onlyOneBefore)
                return onlyOneBefore;
            return null;
        });
    }
    // The text into the editor as typed: each line break a line break, everything else as it is.
    function insertText(editor, value) {
        editor.focus();
        if (editor.tagName === "TEXTAREA") {
            editor.setSelectionRange(editor.value.length, editor.value.length);
            if (!document.execCommand("insertText", false, value) || editor.value.indexOf(value) < 0) {
                // Through the element's own setter, so that frameworks hear the change.
                var setter = Object.getOwnPropertyDescriptor(HTMLTextAreaElement.prototype, "value").set;
                setter.call(editor, editor.value + value);
                editor.dispatchEvent(new InputEvent("input", { bubbles: true, inputType: "insertText", data: value }));
            }
        } else {
            var selection = window.getSelection();
            if (selection) {
                selection.selectAllChildren(editor);
                selection.collapseToEnd();
            }
            value.split("\n").forEach(function (line, index) {
                if (index > 0) document.execCommand("insertLineBreak");
                if (line) document.execCommand("insertText", false, line);
            });
        }
        return editorText(editor).trim() === value.replace(/\r\n?/g, "\n").trim();
    }
    function pressReturn(editor) {
        ["keydown", "keypress", "keyup"].forEach(function (type) {
            var event = new KeyboardEvent(type, { key: "Enter", code: "Enter", keyCode: 13, which: 13,
                                                  charCode: type === "keypress" ? 13 : 0,
                                                  bubbles: true, cancelable: true, composed: true });
            // Clients that read the legacy codes see them, in engines that leave them out.
            ["keyCode", "which"].forEach(function (name) {
                if (event[name] !== 13) Object.defineProperty(event, name, { get: function () { return 13; } });
            });
            editor.dispatchEvent(event);
        });
    }
    // Into `editor`, sent with Return; true once the client took it (the editor emptied).
    function typeAndSend(editor, value) {
        if (!insertText(editor, value)) {
            log("the editor did not take the text as it was");
            return Promise.resolve(false);
        }
        pressReturn(editor);
        return waitFor(function () {
            return !editor.isConnected || editorText(editor).trim() === "";
        }, sendWait).then(function (sent) {
            if (!sent) log("the text stayed in the editor");
            return !!sent;
        });
    }
    function placeReply(value, id) {
        if (bridge.state.locked) return Promise.resolve(false);
        var notification = notifications.get(String(id));
        // A notification this page never made, or no longer knows (replaced, reloaded since).
        if (!notification) return Promise.resolve(false);
        return editorOpenedBy(notification).then(function (editor) {
            if (!editor) {
                log("no editor of the notification's chat");
                return false;
            }
            // A draft of the user's would go out with the reply.
            if (editorText(editor).trim() !== "") {
                log("the chat's editor holds a draft");
                return false;
            }
            return typeAndSend(editor, value);
        });
    }
    function placeShared(value) {
        var editor = deepActiveElement();
        if (!isVisibleEditor(editor)) {
            var editors = visibleEditors();
            editor = editors.length ? editors[editors.length - 1] : null;
        }
        if (!editor) return Promise.resolve(false);
        return typeAndSend(editor, value);
    }
    // One at a time: each reply's click must not switch the chat under another one.
    var placing = Promise.resolve();
    // A reply from a notification (text, the notification's id): resolves true only when the text
    // went into the chat that notification's click opened and was sent; false when that cannot
    // be made sure, and then nothing was sent. With no id (shared text), the chat on screen.
    window.wqSendMessageToChatWithTag = function (value, id) {
        if (typeof value !== "string") return Promise.resolve(false);
        var shared = id === null || id === undefined;
        var result = placing.then(function () { return shared ? placeShared(value) : placeReply(value, id); })
            .catch(function (error) {
                log("reply failed: " + error);
                return false;
            });
        placing = result;
        return result;
    };

    // --- settings the host hands over ---
    window.wqLockDown = function (locked) {
        locked = flag(locked);
        bridge.state.locked = locked;
        mark("locked", locked);
        if (locked && document.activeElement && document.activeElement.blur) document.activeElement.blur();
        announce("lockdown", locked);
    };
    window.wqSetZoom = function (fontSize) {
        var size = Number(fontSize);
        if (!isFinite(size) || size <= 0) return;
        // The setting is a font size; the browser's own is 16.
        var zoom = Math.min(Math.max(size / 16, 0.5), 3);
        bridge.state.zoom = zoom;
        if (root) root.style.zoom = zoom === 1 ? "" : String(zoom);
    };
    window.wqSetStyle = function (style) {
        style = style === "Dark" || style === "Mixed" ? style : "Light";
        bridge.state.style = style;
        mark("style", style.toLowerCase());
        if (root) root.style.colorScheme = style === "Dark" ? "dark" : "light";
        announce("stylechange", style);
    };
    window.wqSetDoNotDisturb = function (enabled) {
        bridge.state.doNotDisturb = flag(enabled);
        mark("do-not-disturb", bridge.state.doNotDisturb);
    };
    window.wqEnableSending = function (enabled) {
        bridge.state.sendingEnabled = flag(enabled);
        mark("sending-disabled", !bridge.state.sendingEnabled);
    };
    window.wqWindowStatusDidChange = function (isKey) {
        bridge.state.windowIsKey = flag(isKey);
        mark("window-inactive", !bridge.state.windowIsKey);
    };
    window.wqSetStealthModeShowContentOnMouseOver = function (enabled) {
        bridge.state.stealthShowOnHover = flag(enabled);
        mark("stealth-hover", bridge.state.stealthShowOnHover);
    };
    // The chosen wallpaper as the CSS variable --wq-wallpaper; none removes it.
    window.wqModifyWallpaper = function (dataURL) {
        if (!root) return;
        if (typeof dataURL === "string" && dataURL.indexOf("data:image/") === 0) {
            root.style.setProperty("--wq-wallpaper", 'url("' + dataURL.replace(/["\\\n]/g, "") + '")');
            mark("wallpaper", true);
        } else {
            root.style.removeProperty("--wq-wallpaper");
            mark("wallpaper", false);
        }
    };

    // --- commands the page decides how to carry out: announced as events ---
    window.wqStartAudioRecording = function () { announce("audiorecording", { recording: true }); };
    window.wqStopAudioRecording = function (send) { announce("audiorecording", { recording: false, send: flag(send) }); };
    ["wqShowConversationDetails", "wqSearchConversationContent", "wqOpenNewChat", "wqOpenNewGroup",
     "wqShowProfileAndStatus", "wqShowArchive", "wqShowActiveContacts", "wqSendDocument", "wqSendContact"]
        .forEach(function (name) {
            window[name] = function () { announce("menucommand", name); };
        });

    // The width of the chat list, for the share view: the widest box at the window's left edge
    // that is narrower than the window's larger part; none when there is no such box.
    window.wqGetChatListWidth = function () {
        if (!document.elementFromPoint) return undefined;
        var element = document.elementFromPoint(1, Math.floor(window.innerHeight / 2));
        var best;
        for (; element && element !== document.body && element !== root; element = element.parentElement) {
            var box = element.getBoundingClientRect();
            if (box.left <= 1 && box.width > 0 && box.width < window.innerWidth * 0.6) best = box.width;
        }
        return best;
    };

    window.wqHandleLogOut = function () {
        try {
            localStorage.clear();
            sessionStorage.clear();
        } catch (error) {
            log("cannot clear storage: " + error);
        }
        return true;
    };

    // --- downloads of blob: URLs the host refused to navigate to ---
    var downloadNames = new Map();
    document.addEventListener("click", function (event) {
        var anchor = event.target && event.target.closest ? event.target.closest("a[download]") : null;
        if (anchor && anchor.href) downloadNames.set(anchor.href, anchor.getAttribute("download") || "");
    }, true);
    function dataURLOf(blob) {
        return new Promise(function (resolve, reject) {
            var reader = new FileReader();
            reader.onload = function () { resolve(reader.result); };
            reader.onerror = function () { reject(reader.error); };
            reader.readAsDataURL(blob);
        });
    }
    window.wqDownloadBlob = function (url) {
        url = String(url);
        if (url.indexOf("blob:") !== 0) return;
        fetch(url)
            .then(function (response) { return response.blob(); })
            .then(function (blob) {
                return dataURLOf(blob).then(function (dataURL) {
                    var message = { action: "download", download: dataURL,
                                    mimeType: blob.type || "application/octet-stream" };
                    var name = downloadNames.get(url);
                    if (name) message.fileName = name;
                    post("eventHandler", message);
                });
            })
            .catch(function (error) { log("blob download failed: " + error); });
    };

    // --- answers of the host's converters, handed to whoever asked ---
    var pending = { audio: new Map(), ffmpeg: new Map() };
    function settle(map, id, value) {
        var callback = map.get(String(id));
        map.delete(String(id));
        if (callback) callback(value);
        announce("conversion", { id: String(id), value: value });
    }
    bridge.convertAudio = function (id, src, callback) {
        pending.audio.set(String(id), callback);
        post("audioHandler", { id: String(id), src: String(src) });
    };
    bridge.runFFmpeg = function (id, src, parameters, inDataType, outDataType, callback) {
        pending.ffmpeg.set(String(id), callback);
        post("ffmpegHandler", { id: String(id), src: src, parameters: parameters, inDataType: inDataType,
                                outDataType: outDataType });
    };
    window.changeAudioToURL = function (dataURL, id) { settle(pending.audio, id, dataURL); };
    window.wqFFmpegCallback = function (id, success, data, type) {
        settle(pending.ffmpeg, id, success ? { data: data, type: type } : null);
    };
    window.wqAlertCenter = {
        callbacks: new Map(),
        count: 0,
        show: function (title, message, buttons, callback) {
            var id = ++this.count;
            this.callbacks.set(id, callback);
            post("WQAlertHandler", { id: id, title: String(title), message: String(message), buttonTitles: buttons });
            return id;
        },
        callback: function (id, index) {
            var callback = this.callbacks.get(id);
            this.callbacks.delete(id);
            if (typeof callback === "function") callback(index);
        }
    };
    window.wqNotificationCenter = {
        callback: function (id, body) { announce("panelanswer", { id: id, body: body }); }
    };

    // --- files the host hands over (drops, pastes, chosen files, camera, microphone) ---
    function filesFrom(dataURLs, names) {
        if (!Array.isArray(dataURLs)) return [];
        return dataURLs.map(function (dataURL, index) {
            var match = /^data:([^;,]*)(;base64)?,/.exec(String(dataURL));
            if (!match) return null;
            var text = String(dataURL).slice(match[0].length);
            var bytes;
            try {
                bytes = match[2] ? Uint8Array.from(atob(text), function (c) { return c.charCodeAt(0); })
                                 : new TextEncoder().encode(decodeURIComponent(text));
            } catch (error) {
                return null;
            }
            var name = Array.isArray(names) && typeof names[index] === "string" ? names[index] : "file";
            return new File([bytes], name, { type: match[1] || "application/octet-stream" });
        }).filter(Boolean);
    }
    // Into the file input that asked (by its id), else dropped on the page's drop target.
    window.wqOpenFileURLsWithID = function (inputId, dataURLs, names) {
        var files = filesFrom(dataURLs, names);
        var input = document.getElementById(String(inputId));
        if (!files.length || !input || input.type !== "file") return;
        var transfer = new DataTransfer();
        files.forEach(function (file) { transfer.items.add(file); });
        input.files = transfer.files;
        input.dispatchEvent(new Event("change", { bubbles: true }));
    };
    window.wqDropFileURLs = function (dataURLs, names) {
        var files = filesFrom(dataURLs, names);
        if (!files.length) return;
        var target = document.elementFromPoint(window.innerWidth * 0.7, window.innerHeight / 2) || document.body;
        if (!target) return;
        var transfer = new DataTransfer();
        files.forEach(function (file) { transfer.items.add(file); });
        ["dragenter", "dragover", "drop"].forEach(function (type) {
            target.dispatchEvent(new DragEvent(type, { bubbles: true, cancelable: true, dataTransfer: transfer }));
        });
    };
    window.wqSendAudio = function (samples) {
        if (Array.isArray(samples)) announce("audiosamples", samples);
    };

    // --- text patches: scripts the configuration patches are fetched, handed to the host,
    //     and run as the host gives them back (wqPatchJS) ---
    var patchRequests = new Map();
    var patchCount = 0;
    function wantsPatch(node) {
        if (!prefixes.length || !node || node.tagName !== "SCRIPT" || !node.src || node.wqPatched) return false;
        var src = node.src;
        return prefixes.some(function (prefix) { return typeof prefix === "string" && src.indexOf(prefix) === 0; });
    }
    function toBase64(text) {
        var bytes = new TextEncoder().encode(text);
        var binary = "";
        for (var i = 0; i < bytes.length; i += 0x8000)
            binary += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
        return btoa(binary);
    }
    function requestPatch(script, parent, before, insert) {
        var id = "wq-patch-" + ++patchCount;
        patchRequests.set(id, { script: script, parent: parent, before: before, insert: insert });
        fetch(script.src, { credentials: "same-origin" })
            .then(function (response) { return response.text(); })
            .then(function (text) {
                var mimeType = script.type && script.type !== "module" ? script.type : "text/javascript";
                post("WQPatchJSHandler", { id: id, src: script.src,
                                           blob: "data:" + mimeType + ";base64," + toBase64(text), mimeType: mimeType });
            })
            .catch(function (error) {
                // Unpatched is better than missing.
                patchRequests.delete(id);
                script.wqPatched = true;
                insert.call(parent, script, before);
            });
    }
    window.wqPatchJS = function (id, mimeType, base64) {
        var request = patchRequests.get(String(id));
        if (!request) return;
        patchRequests.delete(String(id));
        var text;
        try {
            text = new TextDecoder().decode(Uint8Array.from(atob(base64), function (c) { return c.charCodeAt(0); }));
        } catch (error) {
            return;
        }
        var original = request.script;
        var replacement = document.createElement("script");
        for (var i = 0; i < original.attributes.length; i++) {
            var attribute = original.attributes[i];
            if (attribute.name !== "src") replacement.setAttribute(attribute.name, attribute.value);
        }
        var url = URL.createObjectURL(new Blob([text], { type: mimeType || "text/javascript" }));
        replacement.wqPatched = true;
        // The page listens on the script it made; it hears the replacement's outcome there.
        ["load", "error"].forEach(function (type) {
            replacement.addEventListener(type, function () {
                URL.revokeObjectURL(url);
                original.dispatchEvent(new Event(type));
            });
        });
        replacement.src = url;
        request.insert.call(request.parent, replacement, request.before);
    };
    if (prefixes.length) {
        var append = Node.prototype.appendChild, insertBefore = Node.prototype.insertBefore;
        Node.prototype.appendChild = function (node) {
            if (!wantsPatch(node)) return append.call(this, node);
            requestPatch(node, this, null, function (child) { return append.call(this, child); });
            return node;
        };
        Node.prototype.insertBefore = function (node, before) {
            if (!wantsPatch(node)) return insertBefore.call(this, node, before);
            requestPatch(node, this, before, function (child, reference) { return insertBefore.call(this, child, reference); });
            return node;
        };
    }

    log("bridge ready");
})();
