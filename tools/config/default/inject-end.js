// Placeholder end script of the default configuration: runs when the document has been parsed.
// The page bridge's real script replaces it.
(function () {
    "use strict";
    if (window.wqDebug) console.log("Parlivo: default end script");
})();
