// The page side of the bridge, injected at document end: the document has been parsed, so the
// host is told the page is here ("didInit"); it answers with the page's stored text and
// wqInit.didFinishNativeInit(), after which the start script posts "willStartup" and, once the
// page has loaded, "didStartup".
(function () {
    "use strict";
    if (window !== window.top || !window.wqBridge || window.wqBridge.didInit) return;
    window.wqBridge.didInit = true;
    window.wqBridge.post("eventHandler", "didInit");
})();
