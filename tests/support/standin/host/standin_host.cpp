// A bare WebKitGTK host for the stand-in page, for tests of the harness and of the page scripts
// without the program: one window, one web view, the handlers and user scripts it is told.
//
//   standin-host --certificate PEM URL [--handler NAME]... [--start-script FILE]
//                [--end-script FILE] [--answer-init]
//
// Each message the page posts is printed as "message NAME JSON". Each line of standard input is
// a script, evaluated in the page; its outcome is printed as "result N JSON" or "error N TEXT"
// (N counts the scripts from 1). "loaded URL" follows each finished load.
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <glib-unix.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

WebKitWebView* webView = nullptr;
int scriptCount = 0;

void print(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void evaluate(const std::string& script, int number) {
    webkit_web_view_evaluate_javascript(
        webView, script.c_str(), gssize(script.size()), nullptr, nullptr, nullptr,
        [](GObject* object, GAsyncResult* result, gpointer data) {
            const int n = GPOINTER_TO_INT(data);
            GError* error = nullptr;
            JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(object), result, &error);
            if (!value) {
                if (n > 0) print("error " + std::to_string(n) + " " + (error ? error->message : "unknown"));
                g_clear_error(&error);
                return;
            }
            char* json = jsc_value_to_json(value, 0);
            if (n > 0) print("result " + std::to_string(n) + " " + (json ? json : "null"));
            g_free(json);
            g_object_unref(value);
        },
        GINT_TO_POINTER(number));
}

void received(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer data) {
    const std::string name = static_cast<const char*>(data);
    char* json = jsc_value_to_json(webkit_javascript_result_get_js_value(result), 0);
    const std::string body = json ? json : "null";
    g_free(json);
    print("message " + name + " " + body);
    if (g_object_get_data(G_OBJECT(webView), "answer-init") && name == "eventHandler" && body == "\"didInit\"")
        evaluate("wqInit.didFinishNativeInit();", 0);
}

gboolean readInput(GIOChannel* channel, GIOCondition, gpointer) {
    gchar* line = nullptr;
    gsize length = 0;
    const GIOStatus status = g_io_channel_read_line(channel, &line, &length, nullptr, nullptr);
    if (status == G_IO_STATUS_EOF || status == G_IO_STATUS_ERROR) return G_SOURCE_REMOVE;
    if (line) {
        std::string script(line);
        g_free(line);
        while (!script.empty() && (script.back() == '\n' || script.back() == '\r')) script.pop_back();
        if (!script.empty()) evaluate(script, ++scriptCount);
    }
    return G_SOURCE_CONTINUE;
}

std::string fileText(const char* path) {
    gchar* text = nullptr;
    if (!g_file_get_contents(path, &text, nullptr, nullptr)) {
        std::fprintf(stderr, "standin-host: cannot read %s\n", path);
        std::exit(2);
    }
    std::string result(text);
    g_free(text);
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    gtk_init(&argc, &argv);
    std::string url, certificate;
    std::vector<std::string> handlers;
    std::string startScript, endScript;
    bool answerInit = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--certificate" && hasValue) certificate = argv[++i];
        else if (arg == "--handler" && hasValue) handlers.push_back(argv[++i]);
        else if (arg == "--start-script" && hasValue) startScript = fileText(argv[++i]);
        else if (arg == "--end-script" && hasValue) endScript = fileText(argv[++i]);
        else if (arg == "--answer-init") answerInit = true;
        else url = arg;
    }
    if (url.empty()) {
        std::fprintf(stderr, "usage: standin-host --certificate PEM URL [--handler NAME]... [--start-script FILE] "
                             "[--end-script FILE] [--answer-init]\n");
        return 2;
    }

    WebKitWebContext* context = webkit_web_context_get_default();
    if (!certificate.empty()) {
        GError* error = nullptr;
        GTlsCertificate* tls = g_tls_certificate_new_from_file(certificate.c_str(), &error);
        if (!tls) {
            std::fprintf(stderr, "standin-host: %s\n", error->message);
            return 2;
        }
        // Only this certificate, only for the loopback server: checks stay on.
        webkit_web_context_allow_tls_certificate_for_host(context, tls, "127.0.0.1");
        g_object_unref(tls);
    }
    WebKitUserContentManager* manager = webkit_user_content_manager_new();
    if (!startScript.empty())
        webkit_user_content_manager_add_script(
            manager, webkit_user_script_new(startScript.c_str(), WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
                                            WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr));
    if (!endScript.empty())
        webkit_user_content_manager_add_script(
            manager, webkit_user_script_new(endScript.c_str(), WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
                                            WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_END, nullptr, nullptr));
    for (const auto& name : handlers) {
        webkit_user_content_manager_register_script_message_handler(manager, name.c_str());
        g_signal_connect(manager, ("script-message-received::" + name).c_str(), G_CALLBACK(received),
                         g_strdup(name.c_str()));
    }
    webView = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context, "user-content-manager",
                                           manager, nullptr));
    if (answerInit) g_object_set_data(G_OBJECT(webView), "answer-init", GINT_TO_POINTER(1));
    g_signal_connect(webView, "load-changed", G_CALLBACK(+[](WebKitWebView* view, WebKitLoadEvent event, gpointer) {
                         if (event == WEBKIT_LOAD_FINISHED) print(std::string("loaded ") + webkit_web_view_get_uri(view));
                     }),
                     nullptr);

    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window), 1000, 700);
    gtk_container_add(GTK_CONTAINER(window), GTK_WIDGET(webView));
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
    gtk_widget_show_all(window);

    GIOChannel* input = g_io_channel_unix_new(0);
    g_io_add_watch(input, GIOCondition(G_IO_IN | G_IO_HUP), readInput, nullptr);
    // SIGTERM ends the main loop, so the web processes are told to go.
    g_unix_signal_add(SIGTERM, [](gpointer) { gtk_main_quit(); return G_SOURCE_REMOVE; }, nullptr);

    webkit_web_view_load_uri(webView, url.c_str());
    gtk_main();
    return 0;
}
