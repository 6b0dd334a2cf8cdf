// The bare WebKitGTK window the web host is measured against: one window, one web view, the
// loopback certificate trusted for 127.0.0.1, the two handlers the measured page talks to, and
// the one answer its start-up waits for. Usage: bare_webkit CERTIFICATE URL
#include <glib-unix.h>
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <cstring>

static void received(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer view) {
    JSCValue* body = webkit_javascript_result_get_js_value(result);
    if (!jsc_value_is_string(body)) return;
    char* text = jsc_value_to_string(body);
    if (std::strcmp(text, "didInit") == 0)
        webkit_web_view_evaluate_javascript(WEBKIT_WEB_VIEW(view), "wqInit.didFinishNativeInit();", -1, nullptr,
                                            nullptr, nullptr, nullptr, nullptr);
    g_free(text);
}

int main(int argc, char** argv) {
    gtk_init(&argc, &argv);
    if (argc != 3) return 2;
    WebKitWebContext* context = webkit_web_context_get_default();
    GTlsCertificate* certificate = g_tls_certificate_new_from_file(argv[1], nullptr);
    if (!certificate) return 2;
    webkit_web_context_allow_tls_certificate_for_host(context, certificate, "127.0.0.1");
    WebKitUserContentManager* manager = webkit_user_content_manager_new();
    GtkWidget* view = webkit_web_view_new_with_user_content_manager(manager);
    webkit_user_content_manager_register_script_message_handler(manager, "eventHandler");
    webkit_user_content_manager_register_script_message_handler(manager, "logHandler");
    g_signal_connect(manager, "script-message-received::eventHandler", G_CALLBACK(received), view);
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window), 1000, 700);
    gtk_container_add(GTK_CONTAINER(window), view);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
    g_unix_signal_add(SIGTERM, [](gpointer) { gtk_main_quit(); return G_SOURCE_REMOVE; }, nullptr);
    gtk_widget_show_all(window);
    webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), argv[2]);
    gtk_main();
    return 0;
}
