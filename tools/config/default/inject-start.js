// Placeholder start script of the default configuration: runs at document start, before the
// page's own scripts. The page bridge's real script replaces it.
(function () {
    "use strict";
    if (window.wqDebug) console.log("Parlivo: default start script");
})();
