// The bare WebKitGTK window page_message_bench measures the program against: a GtkApplication (so
// the bench can time its main loop over D-Bus as it does the program's), one web view on the
// stand-in page, the handlers the measured page posts to (bodies left unread: WebKit's own cost),
// and the one answer its start-up waits for. Usage: bare_message_window CERTIFICATE URL
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <cstring>
#include <initializer_list>

namespace {

const char* certificatePath;
const char* pageURL;

void received(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer view) {
    JSCValue* body = webkit_javascript_result_get_js_value(result);
    if (!jsc_value_is_string(body)) return;
    char* text = jsc_value_to_string(body);
    if (std::strcmp(text, "didInit") == 0)
        webkit_web_view_evaluate_javascript(WEBKIT_WEB_VIEW(view), "wqInit.didFinishNativeInit();", -1, nullptr,
                                            nullptr, nullptr, nullptr, nullptr);
    g_free(text);
}

void activate(GtkApplication* application, gpointer) {
    WebKitWebContext* context = webkit_web_context_get_default();
    if (GTlsCertificate* certificate = g_tls_certificate_new_from_file(certificatePath, nullptr)) {
        webkit_web_context_allow_tls_certificate_for_host(context, certificate, "127.0.0.1");
        g_object_unref(certificate);
    }
    WebKitUserContentManager* manager = webkit_user_content_manager_new();
    GtkWidget* view = webkit_web_view_new_with_user_content_manager(manager);
    for (const char* name : {"eventHandler", "logHandler", "incomingMessageHandler", "localWebStore"})
        webkit_user_content_manager_register_script_message_handler(manager, name);
    g_signal_connect(manager, "script-message-received::eventHandler", G_CALLBACK(received), view);
    GtkWidget* window = gtk_application_window_new(application);
    gtk_window_set_default_size(GTK_WINDOW(window), 1000, 700);
    gtk_container_add(GTK_CONTAINER(window), view);
    gtk_widget_show_all(window);
    webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), pageURL);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    certificatePath = argv[1];
    pageURL = argv[2];
    GtkApplication* application = gtk_application_new("net.vantreo.BareMessageWindow", G_APPLICATION_DEFAULT_FLAGS);
    g_signal_connect(application, "activate", G_CALLBACK(activate), nullptr);
    char* arguments[] = {argv[0], nullptr};
    const int status = g_application_run(G_APPLICATION(application), 1, arguments);
    g_object_unref(application);
    return status;
}
