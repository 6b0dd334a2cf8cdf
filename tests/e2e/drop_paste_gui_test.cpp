// Files and images into the chat through the real program against the stand-in page: files,
// a picture and a promised file (XDS) dragged from another program's window (a GTK drag source of
// the test's own, moved by XTest, over XDND); Ctrl+V with files, an image or nothing usable on
// the clipboard (owned by this test); a share handed in by a second start of the program, or by
// the start itself; hostile files refused with nothing sent; nothing taken while sending is off
// or the privacy lock is on. What the page received is what it recorded: wqDropFileURLs with
// data URLs.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <gtk/gtk.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "RunLoop.h"
#include "TestFiles.h"
#include "WebHostRun.h"
#include "foundation/FileManager.h"
#include "foundation/KeyedArchive.h"
#include "system/Crypto.h"
// After GTK: Xlib's macros (None, Bool, ...) clash with names in the headers above.
#include <gdk/gdkx.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace fs = std::filesystem;
using e2e::WebHostRun;
using testsupport::Accessibility;
using testsupport::PageRecord;
using testsupport::fileURI;
using testsupport::writeFile;

namespace {

std::string dataURL(std::string_view mimeType, std::string_view bytes) {
    const std::vector<uint8_t> data(bytes.begin(), bytes.end());
    return "data:" + std::string(mimeType) + ";base64," + platform::Crypto::base64(data);
}

// A picture of one colour, as PNG bytes.
std::string pngOf(int width, int height, guint32 rgba) {
    GdkPixbuf* image = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, width, height);
    gdk_pixbuf_fill(image, rgba);
    gchar* buffer = nullptr;
    gsize size = 0;
    EXPECT_TRUE(gdk_pixbuf_save_to_buffer(image, &buffer, &size, "png", nullptr, nullptr));
    std::string bytes(buffer ? buffer : "", size);
    g_free(buffer);
    g_object_unref(image);
    return bytes;
}

// The page got a JPEG data URL of a `width` x `height` picture of about the colour `rgba`.
void expectJPEGOf(const std::string& url, int width, int height, guint32 rgba) {
    const std::string prefix = "data:image/jpeg;base64,";
    ASSERT_EQ(url.rfind(prefix, 0), 0u) << url.substr(0, 60);
    gsize length = 0;
    guchar* jpeg = g_base64_decode(url.c_str() + prefix.size(), &length);
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new_with_type("jpeg", nullptr);
    const bool loaded = gdk_pixbuf_loader_write(loader, jpeg, length, nullptr) && gdk_pixbuf_loader_close(loader, nullptr);
    g_free(jpeg);
    GdkPixbuf* decoded = loaded ? gdk_pixbuf_loader_get_pixbuf(loader) : nullptr;
    EXPECT_TRUE(decoded) << "not a JPEG";
    if (decoded) {
        EXPECT_EQ(gdk_pixbuf_get_width(decoded), width);
        EXPECT_EQ(gdk_pixbuf_get_height(decoded), height);
        const guchar* pixel = gdk_pixbuf_get_pixels(decoded) + height / 2 * gdk_pixbuf_get_rowstride(decoded) +
                              width / 2 * gdk_pixbuf_get_n_channels(decoded);
        EXPECT_NEAR(pixel[0], (rgba >> 24) & 0xff, 12);
        EXPECT_NEAR(pixel[1], (rgba >> 16) & 0xff, 12);
        EXPECT_NEAR(pixel[2], (rgba >> 8) & 0xff, 12);
    }
    g_object_unref(loader);
}

// What this test process offers on the clipboard, answered from its own main loop (so every
// wait for the program runs that loop). Records which types the program asked for.
class Clipboard {
public:
    Clipboard() : clipboard_(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD)) {}
    ~Clipboard() {
        if (owned_) gtk_clipboard_clear(clipboard_);
    }

    void offer(std::vector<std::pair<std::string, std::string>> items) {
        items_ = std::move(items);
        requested.clear();
        std::vector<GtkTargetEntry> targets;
        for (const auto& item : items_)
            targets.push_back(GtkTargetEntry{const_cast<gchar*>(item.first.c_str()), 0, guint(targets.size())});
        owned_ = gtk_clipboard_set_with_data(clipboard_, targets.data(), guint(targets.size()), &Clipboard::get,
                                             &Clipboard::clear, this);
        EXPECT_TRUE(owned_);
    }
    void offerImage(GdkPixbuf* image) {
        items_.clear();
        requested.clear();
        gtk_clipboard_set_image(clipboard_, image);
        owned_ = false;
        ASSERT_TRUE(testsupport::runLoopUntil([&] { return gtk_clipboard_wait_is_image_available(clipboard_); }, 10));
    }

    std::vector<std::string> requested;

private:
    static void get(GtkClipboard*, GtkSelectionData* data, guint info, gpointer self) {
        auto* me = static_cast<Clipboard*>(self);
        if (info >= me->items_.size()) return;
        const auto& [type, bytes] = me->items_[info];
        me->requested.push_back(type);
        gtk_selection_data_set(data, gtk_selection_data_get_target(data), 8, reinterpret_cast<const guchar*>(bytes.data()),
                               gint(bytes.size()));
    }
    static void clear(GtkClipboard*, gpointer self) { static_cast<Clipboard*>(self)->owned_ = false; }

    GtkClipboard* clipboard_;
    std::vector<std::pair<std::string, std::string>> items_;
    bool owned_ = false;
};

// A small window of another "program" (this test) from which content can be dragged: a URI
// list as a file manager offers it, or what a browser offers for a picture.
using Offer = std::vector<std::pair<std::string, std::string>>;  // type, bytes

class DragSource {
public:
    // At the bottom right of the screen.
    explicit DragSource(std::string uriList) : DragSource(Offer{{"text/uri-list", std::move(uriList)}}) {}
    explicit DragSource(Offer items) : items_(std::move(items)) {
        GdkRectangle screen{};
        gdk_monitor_get_geometry(gdk_display_get_monitor(gdk_display_get_default(), 0), &screen);
        const int x = screen.x + screen.width - kSize - 10, y = screen.y + screen.height - kSize - 10;
        window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_window_set_title(GTK_WINDOW(window_), "Drag source");
        gtk_window_set_default_size(GTK_WINDOW(window_), kSize, kSize);
        gtk_window_move(GTK_WINDOW(window_), x, y);
        GtkWidget* box = gtk_event_box_new();
        gtk_container_add(GTK_CONTAINER(window_), box);
        std::vector<GtkTargetEntry> targets;
        for (const auto& item : items_)
            targets.push_back(GtkTargetEntry{const_cast<gchar*>(item.first.c_str()), 0, guint(targets.size())});
        gtk_drag_source_set(box, GDK_BUTTON1_MASK, targets.data(), gint(targets.size()), GDK_ACTION_COPY);
        g_signal_connect(box, "drag-begin", G_CALLBACK(&DragSource::dragBegin), this);
        g_signal_connect(box, "drag-data-get", G_CALLBACK(&DragSource::dataGet), this);
        g_signal_connect(box, "drag-end", G_CALLBACK(&DragSource::dragEnd), this);
        gtk_widget_show_all(window_);
    }
    ~DragSource() {
        if (context_) g_object_unref(context_);
        gtk_widget_destroy(window_);
    }
    // Whether the window under the pointer has said it takes the drag (with an action).
    bool accepted() const { return context_ && gdk_drag_context_get_selected_action(context_) != 0; }

    bool shown() {
        return testsupport::runLoopUntil([&] {
            GdkWindow* window = gtk_widget_get_window(window_);
            return window && gdk_window_is_viewable(window);
        }, 10);
    }
    // The middle of the window on the screen.
    std::pair<int, int> middle() const {
        int x = 0, y = 0;
        gdk_window_get_origin(gtk_widget_get_window(window_), &x, &y);
        return {x + kSize / 2, y + kSize / 2};
    }

    // A file promise (XDS, "XdndDirectSave0" among the types): the suggested name and the bytes
    // this source writes where the drop target asks.
    std::optional<std::pair<std::string, std::string>> promise;
    fs::path promiseWrittenTo;

    int dataRequests = 0;
    bool ended = false;
    static constexpr int kSize = 120;

private:
    static GdkAtom directSave() { return gdk_atom_intern_static_string("XdndDirectSave0"); }
    // XDS: the suggested name goes on the drag's source window before anything else.
    static void dragBegin(GtkWidget*, GdkDragContext* context, gpointer self) {
        auto* me = static_cast<DragSource*>(self);
        if (me->context_) g_object_unref(me->context_);
        me->context_ = GDK_DRAG_CONTEXT(g_object_ref(context));
        if (!me->promise) return;
        const std::string& name = me->promise->first;
        gdk_property_change(gdk_drag_context_get_source_window(context), directSave(),
                            gdk_atom_intern_static_string("text/plain"), 8, GDK_PROP_MODE_REPLACE,
                            reinterpret_cast<const guchar*>(name.data()), gint(name.size()));
    }
    // XDS: the target has put a file URL into the property; the file is written there and
    // the answer is "S" (or "E" when that is no local file).
    void writePromise(GdkDragContext* context, GtkSelectionData* data) {
        GdkAtom type = GDK_NONE;
        gint format = 0, length = 0;
        guchar* value = nullptr;
        std::string uri;
        if (gdk_property_get(gdk_drag_context_get_source_window(context), directSave(), GDK_NONE, 0, 4096, FALSE, &type,
                             &format, &length, &value) &&
            value)
            uri.assign(reinterpret_cast<const char*>(value), size_t(length));
        g_free(value);
        gchar* path = g_filename_from_uri(uri.c_str(), nullptr, nullptr);
        char answer = 'E';
        if (path && promise) {
            promiseWrittenTo = path;
            std::ofstream out(promiseWrittenTo, std::ios::binary);
            out << promise->second;
            if (out.flush()) answer = 'S';
        }
        g_free(path);
        gtk_selection_data_set(data, gtk_selection_data_get_target(data), 8, reinterpret_cast<const guchar*>(&answer), 1);
    }
    static void dataGet(GtkWidget*, GdkDragContext* context, GtkSelectionData* data, guint info, guint, gpointer self) {
        auto* me = static_cast<DragSource*>(self);
        ++me->dataRequests;
        if (info >= me->items_.size()) return;
        if (me->items_[info].first == "XdndDirectSave0") return me->writePromise(context, data);
        const std::string& bytes = me->items_[info].second;
        gtk_selection_data_set(data, gtk_selection_data_get_target(data), 8,
                               reinterpret_cast<const guchar*>(bytes.data()), gint(bytes.size()));
    }
    static void dragEnd(GtkWidget*, GdkDragContext*, gpointer self) { static_cast<DragSource*>(self)->ended = true; }

    Offer items_;
    GtkWidget* window_;
    GdkDragContext* context_ = nullptr;
};

// The mouse on the X server, as a hand moves it (XTest).
class Mouse {
public:
    Mouse() : display_(XOpenDisplay(nullptr)) {}
    ~Mouse() {
        if (display_) XCloseDisplay(display_);
    }
    bool ok() const { return display_ != nullptr; }
    void moveTo(int x, int y) {
        XTestFakeMotionEvent(display_, -1, x, y, CurrentTime);
        XFlush(display_);
        x_ = x;
        y_ = y;
    }
    void button(bool down) {
        XTestFakeButtonEvent(display_, 1, down ? True : False, CurrentTime);
        XFlush(display_);
    }
    // Moves in small steps, letting both programs see each step.
    void glideTo(int x, int y, int steps = 25) {
        const int fromX = x_, fromY = y_;
        for (int i = 1; i <= steps; ++i) {
            moveTo(fromX + (x - fromX) * i / steps, fromY + (y - fromY) * i / steps);
            testsupport::runLoopFor(0.03);
        }
    }
    // Where a window of the display lies on the screen.
    std::pair<int, int> origin(unsigned long window) const {
        int x = 0, y = 0;
        Window child = 0;
        XTranslateCoordinates(display_, Window(window), DefaultRootWindow(display_), 0, 0, &x, &y, &child);
        return {x, y};
    }

private:
    Display* display_;
    int x_ = 0, y_ = 0;
};

class DropPaste : public ::testing::Test {
protected:
    explicit DropPaste(testsupport::StandinServer::Options serverOptions = {}) : run(std::move(serverOptions)) {}

    static void SetUpTestSuite() {
        // This process shows nothing to the accessibility bus: only the program is read there
        // (and the programs it starts must not inherit the switch).
        setenv("NO_AT_BRIDGE", "1", 1);
        const bool initialised = gtk_init_check(nullptr, nullptr);
        unsetenv("NO_AT_BRIDGE");
        ASSERT_TRUE(initialised) << "needs a display";
    }

    void SetUp() override {
        ASSERT_TRUE(GDK_IS_X11_DISPLAY(gdk_display_get_default())) << "needs Xvfb";
        folder = testsupport::makeTemporaryDirectory("drop-paste");
        ASSERT_TRUE(run.start());
    }
    void TearDown() override {
        EXPECT_EQ(run.stop(), 0) << output();
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }

    std::string output() const { return run.program ? run.program->output() : ""; }

    // Waits for the page's first wqDropFileURLs from record `from` on, running this process's
    // main loop meanwhile (it owns the clipboard or the drag).
    std::optional<PageRecord> waitForDrop(size_t from, double seconds = 60) {
        std::optional<PageRecord> found;
        testsupport::runLoopUntil([&] {
            auto calls = run.calls("wqDropFileURLs", from);
            if (!calls.empty()) found = calls.front();
            return found.has_value();
        }, seconds);
        return found;
    }
    // Waits for a line of the program's output past line `from` that holds `text`, running this
    // process's main loop meanwhile.
    bool waitForLine(size_t from, std::string_view text, double seconds = 60) {
        return testsupport::runLoopUntil([&] {
            const auto lines = run.program->process().lines();
            for (size_t i = from; i < lines.size(); ++i)
                if (lines[i].find(text) != std::string::npos) return true;
            return false;
        }, seconds);
    }
    size_t lineCount() const { return run.program->process().lines().size(); }
    // Runs `script` in the page and returns its value, running this process's main loop
    // meanwhile (the page may be reading the clipboard this process owns).
    platform::PropertyList evalPumping(std::string_view script) {
        const int64_t command = run.server.eval(script);
        std::optional<PageRecord> answer;
        testsupport::runLoopUntil([&] {
            for (const auto& record : run.server.records())
                if ((record.type == "evaluated" || record.type == "error") && record["command"].asInt() == command)
                    answer = record;
            return answer.has_value();
        }, 60);
        EXPECT_TRUE(answer && answer->type == "evaluated") << script << "\n" << (answer ? answer->json : "no answer");
        return answer ? answer->value["value"] : platform::PropertyList();
    }

    // Drags from `source` onto the middle of the page and lets go, as a hand does.
    // `taken`: whether the program is to take the drag (else it is let go where nothing takes it).
    void dragOntoPage(DragSource& source, bool taken = true) {
        Mouse mouse;
        ASSERT_TRUE(mouse.ok());
        const std::string window = run.mainWindow();
        ASSERT_FALSE(window.empty()) << output();
        const auto [mainX, mainY] = mouse.origin(std::stoul(window));
        const int targetX = mainX + 500, targetY = mainY + 450;
        ASSERT_TRUE(source.shown());
        const auto [sourceX, sourceY] = source.middle();
        ASSERT_FALSE(std::abs(sourceX - targetX) < DragSource::kSize && std::abs(sourceY - targetY) < DragSource::kSize)
            << "the source window covers the page";

        mouse.moveTo(sourceX, sourceY);
        testsupport::runLoopFor(0.2);
        mouse.button(true);
        testsupport::runLoopFor(0.1);
        mouse.glideTo(targetX, targetY);
        // Moving over the page until the program has answered that it takes the drag (a hand
        // lets go once the pointer shows it may).
        for (int i = 0; i < 5 || (taken && !source.accepted() && i < int(300 * testsupport::timeScale())); ++i) {
            mouse.moveTo(targetX + (i % 2 ? 3 : -3), targetY);
            testsupport::runLoopFor(0.1);
        }
        if (taken) {
            EXPECT_TRUE(source.accepted()) << "the program never took the drag";
        }
        mouse.button(false);
    }

    // Writes a share folder as a sending program does, in the share root; the share URL.
    std::string writeShare(const std::string& name, std::vector<platform::KeyedArchive::Object> items, const Offer& files) {
        const auto root = platform::FileManager::groupContainer();
        EXPECT_TRUE(root) << "no share folder";
        if (!root) return {};
        const fs::path shareFolder = *root / name;
        fs::create_directories(shareFolder);
        for (const auto& [file, bytes] : files) writeFile(shareFolder / file, bytes);
        const auto archive = platform::KeyedArchive::write(platform::KeyedArchive::Object::makeArray(std::move(items)), {});
        std::ofstream(shareFolder / "share.archive", std::ios::binary)
            .write(reinterpret_cast<const char*>(archive.data()), std::streamsize(archive.size()));
        return "net.vantreo.mac.whatsapp.share://" + (shareFolder / "share.archive").string();
    }

    // Ctrl+V typed into the main window.
    void paste() { ASSERT_TRUE(run.pressKeys("ctrl+v")) << "xdotool could not type into the main window"; }

    WebHostRun run;
    fs::path folder;
};

}  // namespace

// A file dragged from another window onto the page: the drop view takes it (WebKit never sees
// it) and the page gets the file's bytes as a data URL, with its name. A picture dragged from a
// browser goes as a picture, a file promised by the source (XDS) once the source has written it.
TEST_F(DropPaste, AFileDraggedFromAnotherWindowReachesThePage) {
    const fs::path file = folder / "dragged note.txt";
    const std::string contents = "Dragged into the chat\n";
    writeFile(file, contents);

    const size_t from = run.server.mark();
    const size_t lines = lineCount();
    DragSource source(fileURI(file) + "\r\n");
    ASSERT_NO_FATAL_FAILURE(dragOntoPage(source));

    const auto drop = waitForDrop(from);
    ASSERT_TRUE(drop) << "data requests: " << source.dataRequests << "\n" << output();
    ASSERT_EQ(drop->args().size(), 2u) << drop->json;
    ASSERT_EQ(drop->args()[0].size(), 1u) << drop->json;
    EXPECT_EQ(drop->args()[0][0].stringOr(), dataURL("text/plain", contents));
    EXPECT_EQ(drop->args()[1][0].stringOr(), "dragged note.txt");
    EXPECT_TRUE(waitForLine(lines, "Perform Drag Operation")) << output();
    EXPECT_TRUE(testsupport::runLoopUntil([&] { return source.ended; }, 30)) << "the drag did not end at the source";
    EXPECT_EQ(run.calls("wqDropFileURLs", from).size(), 1u);

    // A picture dragged out of a browser: its web address is no file, the picture itself goes
    // (as a JPEG of it).
    const size_t imageFrom = run.server.mark();
    DragSource browser(Offer{{"text/uri-list", "https://example.com/picture.png\r\n"},
                             {"image/png", pngOf(64, 48, 0x2040c0ff)}});
    ASSERT_NO_FATAL_FAILURE(dragOntoPage(browser));
    const auto picture = waitForDrop(imageFrom);
    ASSERT_TRUE(picture) << output();
    ASSERT_EQ(picture->args()[0].size(), 1u) << picture->json;
    expectJPEGOf(picture->args()[0][0].stringOr(), 64, 48, 0x2040c0ff);

    // A file promised by the source (XDS): written where the program asks, then sent.
    const size_t promiseFrom = run.server.mark();
    DragSource promising(Offer{{"XdndDirectSave0", ""}});
    promising.promise = {{"promised report.txt", "Written on request\n"}};
    ASSERT_NO_FATAL_FAILURE(dragOntoPage(promising));
    const auto promised = waitForDrop(promiseFrom);
    ASSERT_TRUE(promised) << "written to: " << promising.promiseWrittenTo << "\n" << output();
    ASSERT_EQ(promised->args()[0].size(), 1u) << promised->json;
    EXPECT_EQ(promised->args()[0][0].stringOr(), dataURL("text/plain", "Written on request\n"));
    EXPECT_EQ(promised->args()[1][0].stringOr(), "promised report.txt");
    EXPECT_EQ(promising.promiseWrittenTo.filename(), "promised report.txt");
}

// Ctrl+V: files on the clipboard go to the page; an image goes as a JPEG of the same picture;
// a clipboard with nothing usable sends nothing (the paste goes on to the page as text).
TEST_F(DropPaste, PastedFilesAndImagesReachThePageAndOtherContentSendsNothing) {
    Clipboard clipboard;

    // Files, as a file manager's "copy" puts them.
    // A name with script syntax and a byte that is no UTF-8 reaches the page as a name (the
    // byte as U+FFFD), not as script.
    const fs::path first = folder / "first.txt", second = folder / "second 'quoted'.csv",
                   third = folder / "odd \"back\\slash' <script>\n\xff.txt";
    writeFile(first, "one\n");
    writeFile(second, "a,b\n1,2\n");
    writeFile(third, "odd");
    size_t from = run.server.mark();
    clipboard.offer({{"text/uri-list", fileURI(first) + "\r\n" + fileURI(second) + "\r\n" + fileURI(third) + "\r\n"}});
    paste();
    auto drop = waitForDrop(from);
    ASSERT_TRUE(drop) << output();
    ASSERT_EQ(drop->args()[0].size(), 3u) << drop->json;
    EXPECT_EQ(drop->args()[0][0].stringOr(), dataURL("text/plain", "one\n"));
    EXPECT_EQ(drop->args()[0][1].stringOr(), dataURL("text/csv", "a,b\n1,2\n"));
    EXPECT_EQ(drop->args()[0][2].stringOr(), dataURL("text/plain", "odd"));
    EXPECT_EQ(drop->args()[1][0].stringOr(), "first.txt");
    EXPECT_EQ(drop->args()[1][1].stringOr(), "second 'quoted'.csv");
    EXPECT_EQ(drop->args()[1][2].stringOr(), "odd \"back\\slash' <script>\n\xEF\xBF\xBD.txt");

    // An image (opaque): a JPEG of its size and colour.
    GdkPixbuf* image = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, 40, 30);
    gdk_pixbuf_fill(image, 0xd02020ff);
    from = run.server.mark();
    clipboard.offerImage(image);
    g_object_unref(image);
    paste();
    drop = waitForDrop(from);
    ASSERT_TRUE(drop) << output();
    ASSERT_EQ(drop->args()[0].size(), 1u) << drop->json;
    expectJPEGOf(drop->args()[0][0].stringOr(), 40, 30, 0xd02020ff);

    // Text only, and a URI list of web links: nothing for the chat; the paste goes on to the
    // page's text field the user clicked into (when it has the text, the drop view is done).
    ASSERT_EQ(evalPumping("(function () { var t = document.createElement('textarea'); t.id = 'typing';"
                          " t.style.cssText = 'position:fixed;left:0;top:0;width:100vw;height:100vh;z-index:2147483647';"
                          " document.body.appendChild(t); return true; })()")
                  .asBool(),
              true);
    ASSERT_TRUE(run.clickPage());
    EXPECT_TRUE(testsupport::runLoopUntil(
        [&] { return evalPumping("document.activeElement.id").stringOr() == "typing"; }, 30));
    struct TextCase {
        std::vector<std::pair<std::string, std::string>> items;
        std::string typed;
    };
    for (const auto& c : std::vector<TextCase>{
             {{{"UTF8_STRING", "just text"}, {"text/plain;charset=utf-8", "just text"}}, "just text"},
             {{{"text/uri-list", "https://example.com/picture.png\r\n"},
               {"UTF8_STRING", "https://example.com/picture.png"},
               {"text/plain;charset=utf-8", "https://example.com/picture.png"}},
              "https://example.com/picture.png"},
         }) {
        from = run.server.mark();
        ASSERT_EQ(evalPumping("document.getElementById('typing').value = ''; true").asBool(), true);
        clipboard.offer(c.items);
        paste();
        EXPECT_TRUE(testsupport::runLoopUntil(
            [&] { return evalPumping("document.getElementById('typing').value").stringOr() == c.typed; }, 60))
            << c.items.front().first << ": the paste did not go on to the page\n" << output();
        EXPECT_TRUE(run.calls("wqDropFileURLs", from).empty()) << c.items.front().first;
    }
}

// A share from another program: the share folder it wrote is handed over by a second start of
// the program with the share URL; the overlay comes over the chat, Share sends the file (or the
// web address, as a message), Cancel sends nothing.
TEST_F(DropPaste, AShareFromAnotherProgramShowsTheOverlayAndReachesThePage) {
    const auto root = platform::FileManager::groupContainer();
    ASSERT_TRUE(root) << "no share folder";
    using Object = platform::KeyedArchive::Object;
    // Starts the program again with the share's URL (the running one takes it); the folder.
    auto handIn = [&](const std::string& name, std::vector<Object> items, const Offer& files) {
        const std::string url = writeShare(name, std::move(items), files);
        auto second = testsupport::HostedProgram::parlivo(run.server, run.home.options({{"-de", url}, {}, {}}));
        EXPECT_TRUE(second->process().waitForExit(60)) << second->output();
        EXPECT_EQ(second->process().exitStatus(), 0) << second->output();
        return *root / name;
    };
    auto& a11y = run.accessibility();
    const auto overlay = Accessibility::named("label", "Share to a Chat");

    // A file.
    const std::string contents = "Shared from the file manager\n";
    size_t from = run.server.mark();
    fs::path shareFolder = handIn("e2e-file", {Object::makeURL("file:///home/someone/Documents/shared.txt")},
                                  {{"shared.txt", contents}});
    ASSERT_TRUE(a11y.waitFor(overlay, 60)) << a11y.describe() << output();
    EXPECT_FALSE(fs::exists(shareFolder)) << "the share folder is taken over";
    EXPECT_TRUE(run.calls("wqDropFileURLs", from).empty()) << "nothing goes before the user presses Share";
    ASSERT_TRUE(a11y.press("Share")) << a11y.describe();
    const auto drop = run.server.waitForCall("wqDropFileURLs", 60, from);
    ASSERT_TRUE(drop) << output();
    ASSERT_EQ(drop->args()[0].size(), 1u) << drop->json;
    EXPECT_EQ(drop->args()[0][0].stringOr(), dataURL("text/plain", contents));
    EXPECT_EQ(drop->args()[1][0].stringOr(), "shared.txt");
    EXPECT_TRUE(a11y.waitUntilGone(overlay, 30)) << a11y.describe();

    // Cancelled: nothing goes.
    from = run.server.mark();
    handIn("e2e-cancelled", {Object::makeURL("file:///x/cancelled.txt")}, {{"cancelled.txt", "no"}});
    ASSERT_TRUE(a11y.waitFor(overlay, 60)) << a11y.describe() << output();
    ASSERT_TRUE(a11y.press("Cancel")) << a11y.describe();
    EXPECT_TRUE(a11y.waitUntilGone(overlay, 30)) << a11y.describe();

    // A web address: sent as a message (the first web address wins over the file before it).
    handIn("e2e-link", {Object::makeURL("file:///x/skipped.txt"), Object::makeURL("https://example.org/page?id=1&lang=en")},
           {{"skipped.txt", "skipped"}});
    ASSERT_TRUE(a11y.waitFor(overlay, 60)) << a11y.describe() << output();
    ASSERT_TRUE(a11y.press("Share")) << a11y.describe();
    const auto message = run.server.waitForCall("wqSendMessageToChatWithTag", 60, from);
    ASSERT_TRUE(message) << output();
    ASSERT_EQ(message->args().size(), 3u) << message->json;
    EXPECT_EQ(message->args()[0].stringOr(), "https://example.org/page?id=1&lang=en");
    EXPECT_EQ(message->args()[2].asBool(), true);
    run.roundTrip();
    EXPECT_TRUE(run.calls("wqDropFileURLs", from).empty()) << "neither the cancelled file nor the skipped one went";
}

// Hostile files dragged in and on the clipboard: a link, a folder, a pipe (and, pasted, a file
// too large to embed) are each refused with nothing sent, and the program goes on; a good file
// afterwards still goes.
TEST_F(DropPaste, HostileFilesAreRefusedWithNothingSent) {
    writeFile(folder / "target.txt", "behind a link");
    fs::create_symlink(folder / "target.txt", folder / "link.txt");
    fs::create_directory(folder / "a folder");
    writeFile(folder / "a folder" / "inside.txt", "x");
    ASSERT_EQ(::mkfifo((folder / "pipe").c_str(), 0600), 0);
    {
        // Sparse: past the 100 MiB a page call may embed, without writing it.
        const int fd = ::open((folder / "big.bin").c_str(), O_CREAT | O_WRONLY, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, (off_t(100) << 20) + 1), 0);
        ::close(fd);
    }

    struct Case {
        fs::path path;
        std::string logged;  // what the program says of it
    };
    const std::vector<Case> cases = {
        {folder / "link.txt", "Not sent: " + (folder / "link.txt").string()},
        {folder / "a folder", "Not sent: " + (folder / "a folder").string()},
        {folder / "pipe", "Not sent: " + (folder / "pipe").string()},
        {folder / "big.bin", "Too large to send: 1 file(s)"},
    };
    const size_t from = run.server.mark();
    // Dragged all together from another window: each is refused, the drop ends at the source.
    {
        std::string uriList;
        for (size_t i = 0; i + 1 < cases.size(); ++i) uriList += fileURI(cases[i].path) + "\r\n";
        const size_t lines = lineCount();
        DragSource source(uriList);
        ASSERT_NO_FATAL_FAILURE(dragOntoPage(source));
        for (size_t i = 0; i + 1 < cases.size(); ++i) EXPECT_TRUE(waitForLine(lines, cases[i].logged)) << output();
        EXPECT_TRUE(testsupport::runLoopUntil([&] { return source.ended; }, 30)) << "the drag did not end at the source";
    }
    // Pasted one by one.
    Clipboard clipboard;
    for (const auto& c : cases) {
        const size_t lines = lineCount();
        clipboard.offer({{"text/uri-list", fileURI(c.path) + "\r\n"}});
        paste();
        EXPECT_TRUE(waitForLine(lines, c.logged)) << c.path << "\n" << output();
    }
    // The large file is named to the user.
    auto& a11y = run.accessibility();
    EXPECT_TRUE(a11y.waitFor(Accessibility::containing("label", "“big.bin” is too large to send."), 30)) << a11y.describe();
    EXPECT_TRUE(a11y.press("OK")) << a11y.describe();
    EXPECT_TRUE(fs::is_fifo(folder / "pipe"));
    EXPECT_TRUE(fs::exists(folder / "a folder" / "inside.txt"));

    // Still working: a good file goes, and it is the only thing the page got.
    writeFile(folder / "good.txt", "fine");
    clipboard.offer({{"text/uri-list", fileURI(folder / "good.txt") + "\r\n"}});
    paste();
    const auto drop = waitForDrop(from);
    ASSERT_TRUE(drop) << output();
    EXPECT_EQ(drop->args()[1][0].stringOr(), "good.txt") << drop->json;
    EXPECT_EQ(run.calls("wqDropFileURLs", from).size(), 1u);
}

namespace {
// The configuration turns sending off ("Send" false).
class DropPasteSendingOff : public DropPaste {
protected:
    DropPasteSendingOff() : DropPaste({{{"Send", platform::PropertyList(false)}}, {}, {}, {}, {}}) {}
};
}  // namespace

// While the configuration keeps sending off, a dragged file is refused at the drop and a pasted
// one is not taken: the paste goes on to the page's text field as text.
TEST_F(DropPasteSendingOff, NothingIsTakenFromDropsOrPastes) {
    ASSERT_TRUE(run.server.waitForCall("wqEnableSending", 30, run.startMark)) << output();
    EXPECT_EQ(run.calls("wqEnableSending", run.startMark).back().args()[0].asBool(), false);
    const fs::path file = folder / "kept back.txt";
    writeFile(file, "not for the chat");
    const size_t from = run.server.mark();

    size_t lines = lineCount();
    {
        DragSource source(fileURI(file) + "\r\n");
        ASSERT_NO_FATAL_FAILURE(dragOntoPage(source));
        EXPECT_TRUE(waitForLine(lines, "Drop refused: sending is off")) << output();
        EXPECT_TRUE(testsupport::runLoopUntil([&] { return source.ended; }, 30)) << "the drag did not end at the source";
    }

    ASSERT_EQ(evalPumping("(function () { var t = document.createElement('textarea'); t.id = 'typing';"
                          " t.style.cssText = 'position:fixed;left:0;top:0;width:100vw;height:100vh;z-index:2147483647';"
                          " document.body.appendChild(t); return true; })()")
                  .asBool(),
              true);
    ASSERT_TRUE(run.clickPage());
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return evalPumping("document.activeElement.id").stringOr() == "typing"; }, 30));
    Clipboard clipboard;
    lines = lineCount();
    clipboard.offer({{"text/uri-list", fileURI(file) + "\r\n"}, {"UTF8_STRING", file.string()}});
    paste();
    EXPECT_TRUE(testsupport::runLoopUntil(
        [&] { return evalPumping("document.getElementById('typing').value").stringOr() == file.string(); }, 60))
        << "the paste did not go on to the page\n" << output();
    run.roundTrip();
    EXPECT_TRUE(run.calls("wqDropFileURLs", from).empty());
}

namespace {
// The program is started by the share itself (it was not running): the share waits for the page.
class DropPasteShareAtLaunch : public DropPaste {
protected:
    void SetUp() override {
        ASSERT_TRUE(GDK_IS_X11_DISPLAY(gdk_display_get_default())) << "needs Xvfb";
        folder = testsupport::makeTemporaryDirectory("drop-paste");
        const std::string url = writeShare("at-launch", {platform::KeyedArchive::Object::makeURL("file:///x/early.txt")},
                                           {{"early.txt", "shared before the page was there"}});
        ASSERT_TRUE(run.start({{"-de", url}, {}, {}}));
    }
};
}  // namespace

TEST_F(DropPasteShareAtLaunch, TheShareIsShownOnceThePageIsThere) {
    const size_t from = run.startMark;
    auto& a11y = run.accessibility();
    const auto overlay = Accessibility::named("label", "Share to a Chat");
    ASSERT_TRUE(a11y.waitFor(overlay, 60)) << a11y.describe() << output();
    ASSERT_TRUE(a11y.press("Share")) << a11y.describe();
    const auto drop = run.server.waitForCall("wqDropFileURLs", 60, from);
    ASSERT_TRUE(drop) << output();
    ASSERT_EQ(drop->args()[0].size(), 1u) << drop->json;
    EXPECT_EQ(drop->args()[0][0].stringOr(), dataURL("text/plain", "shared before the page was there"));
    EXPECT_EQ(drop->args()[1][0].stringOr(), "early.txt");
}

namespace {
// The privacy lock is on from the start (password "secret", no fingerprint reader).
class DropPasteLocked : public DropPaste {
protected:
    void SetUp() override {
        ASSERT_TRUE(GDK_IS_X11_DISPLAY(gdk_display_get_default())) << "needs Xvfb";
        folder = testsupport::makeTemporaryDirectory("drop-paste");
        platform::PropertyList settings = platform::PropertyList::dictionary();
        settings.set("privacyModeEnabled", true);
        settings.set("privacyModeTouchIDEnabled", false);
        // An earlier version's record of "secret": its plain SHA-256.
        settings.set("WQPassowrdHandler.privacyPassword",
                     "2bb80d537b1da3e38bd30361aa855686bde0eacd7162fef6a25fe97bf527a25b");
        run.home.writeSettings(settings);
        ASSERT_TRUE(run.start());
    }
};
}  // namespace

// Behind the lock nothing reaches the chat: a paste goes to the lock screen's password field
// as text, a drag finds nothing that takes it. Once unlocked, the same paste goes.
TEST_F(DropPasteLocked, NothingReachesTheChatBehindTheLock) {
    ASSERT_TRUE(run.program->waitForOutput("Found Privacy View Controller -> Not unhiding WebView")) << output();
    const fs::path file = folder / "private.txt";
    writeFile(file, "not while locked");
    const size_t from = run.server.mark();

    Clipboard clipboard;
    clipboard.offer({{"text/uri-list", fileURI(file) + "\r\n"}, {"UTF8_STRING", "pasted"}});
    paste();
    EXPECT_TRUE(testsupport::runLoopUntil(
        [&] { return std::find(clipboard.requested.begin(), clipboard.requested.end(), "UTF8_STRING") != clipboard.requested.end(); },
        60))
        << "the paste did not go to the password field\n" << output();
    EXPECT_TRUE(std::find(clipboard.requested.begin(), clipboard.requested.end(), "text/uri-list") == clipboard.requested.end())
        << "the file list was read behind the lock";
    {
        DragSource source(fileURI(file) + "\r\n");
        ASSERT_NO_FATAL_FAILURE(dragOntoPage(source, false));
        EXPECT_TRUE(testsupport::runLoopUntil([&] { return source.ended; }, 30)) << "the drag did not end at the source";
    }
    run.roundTrip();
    EXPECT_TRUE(run.calls("wqDropFileURLs", from).empty());

    // Unlocked with the password (over what was pasted into the field), the paste goes.
    const size_t unlock = run.server.mark();
    ASSERT_TRUE(run.pressKeys("ctrl+a BackSpace s e c r e t Return"));
    const auto lockDown = run.server.waitFor(
        [](const PageRecord& record) {
            return record.type == "call" && record.name == "wqLockDown" && record.args()[0].stringOr() == "false";
        },
        60, unlock);
    ASSERT_TRUE(lockDown) << output();
    clipboard.offer({{"text/uri-list", fileURI(file) + "\r\n"}, {"UTF8_STRING", "pasted"}});
    paste();
    const auto drop = waitForDrop(from);
    ASSERT_TRUE(drop) << output();
    EXPECT_EQ(drop->args()[1][0].stringOr(), "private.txt");
}
