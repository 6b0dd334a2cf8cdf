// The camera's live picture in a GTK widget: shown inside our window (no window of GStreamer's
// own), and the widget keeps working across a stop and a new start.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstdlib>
#include <optional>

#include "RunLoop.h"
#include "media/CameraSession.h"

using namespace platform;

namespace {

int toplevelCount() {
    GList* windows = gtk_window_list_toplevels();
    const int count = int(g_list_length(windows));
    g_list_free(windows);
    return count;
}

}  // namespace

TEST(CameraSessionPreviewTest, TheLivePictureShowsInOurWindow) {
    ASSERT_TRUE(gtk_init_check(nullptr, nullptr)) << "needs a display";
    setenv("PARLIVO_CAMERA_SOURCE", "test", 1);
    setenv("PARLIVO_MICROPHONE_SOURCE", "test", 1);
    auto session = CameraSession::create();
    GtkWidget* preview = session->previewWidget();
    ASSERT_TRUE(preview) << "gtksink's widget";
    ASSERT_TRUE(GTK_IS_WIDGET(preview));

    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window), 320, 240);
    gtk_container_add(GTK_CONTAINER(window), preview);
    gtk_widget_show_all(window);
    const int windows = toplevelCount();

    for (int round = 0; round < 2; ++round) {
        bool answered = false;
        std::optional<std::string> error;
        session->start([&](platform::Expected<void> started) {
            answered = true;
            if (!started) error = started.error().message;
        });
        ASSERT_TRUE(testsupport::runLoopUntil([&] { return answered; }, 20));
        ASSERT_EQ(error, std::nullopt);
        std::optional<VideoFrame> frame;
        session->captureStillFrame([&](std::optional<VideoFrame> f) { frame = std::move(f); });
        ASSERT_TRUE(testsupport::runLoopUntil([&] { return frame.has_value(); }, 20));
        EXPECT_EQ(frame->width, 640);
        EXPECT_EQ(toplevelCount(), windows) << "GStreamer opened no window of its own";
        EXPECT_EQ(gtk_widget_get_parent(preview), window);
        session->stop();
        EXPECT_EQ(livePipelineCount(), 0);
    }
    session.reset();
    gtk_widget_destroy(window);
}
