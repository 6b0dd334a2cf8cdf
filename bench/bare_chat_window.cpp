// The bare WebKitGTK window the program's notifications are measured against: one window, one
// web view on the given page, the page's own origin allowed to notify, and WebKit showing the
// page's notifications itself on the desktop's notification server. Usage: bare_chat_window URL
#include <glib-unix.h>
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

static WebKitSecurityOrigin* pageOrigin = nullptr;

int main(int argc, char** argv) {
    gtk_init(&argc, &argv);
    if (argc != 2) return 2;
    pageOrigin = webkit_security_origin_new_for_uri(argv[1]);
    WebKitWebContext* context = webkit_web_context_get_default();
    // Granted before the page asks, as a browser remembers it: Notification.permission is
    // "granted" from the first script on.
    g_signal_connect(context, "initialize-notification-permissions", G_CALLBACK(+[](WebKitWebContext* context, gpointer) {
                         GList* allowed = g_list_append(nullptr, pageOrigin);
                         webkit_web_context_initialize_notification_permissions(context, allowed, nullptr);
                         g_list_free(allowed);
                     }),
                     nullptr);
    GtkWidget* view = webkit_web_view_new_with_context(context);
    g_signal_connect(view, "permission-request", G_CALLBACK(+[](WebKitWebView*, WebKitPermissionRequest* request, gpointer) {
                         if (WEBKIT_IS_NOTIFICATION_PERMISSION_REQUEST(request))
                             webkit_permission_request_allow(request);
                         else
                             webkit_permission_request_deny(request);
                         return TRUE;
                     }),
                     nullptr);
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window), 1000, 700);
    gtk_container_add(GTK_CONTAINER(window), view);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
    g_unix_signal_add(SIGTERM, [](gpointer) { gtk_main_quit(); return G_SOURCE_REMOVE; }, nullptr);
    gtk_widget_show_all(window);
    webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), argv[1]);
    gtk_main();
    webkit_security_origin_unref(pageOrigin);
    return 0;
}
