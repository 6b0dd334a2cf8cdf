#include "CaptureDevices.h"

#include <gst/gst.h>

#include <cstring>

#include "CameraRecording.h"
#include "GStreamerPipeline.h"

namespace platform {
namespace {

// The default device of a class ("Video/Source", "Audio/Source"): its element (floating ref
// sunk, so the caller owns it) and display name. Monitors of outputs (a sound card's loopback)
// are not microphones.
GstElement* defaultDevice(const char* deviceClass, std::string* name) {
    GstDeviceMonitor* monitor = gst_device_monitor_new();
    gst_device_monitor_add_filter(monitor, deviceClass, nullptr);
    GstElement* element = nullptr;
    if (gst_device_monitor_start(monitor)) {
        GList* devices = gst_device_monitor_get_devices(monitor);
        for (GList* it = devices; it && !element; it = it->next) {
            GstDevice* device = GST_DEVICE(it->data);
            GstStructure* properties = gst_device_get_properties(device);
            const char* kind = properties ? gst_structure_get_string(properties, "device.class") : nullptr;
            const bool loopback = kind && std::strcmp(kind, "monitor") == 0;
            if (properties) gst_structure_free(properties);
            if (loopback) continue;
            element = gst_device_create_element(device, nullptr);
            if (element) {
                gst_object_ref_sink(element);
                gchar* display = gst_device_get_display_name(device);
                if (name && display) *name = display;
                g_free(display);
            }
        }
        g_list_free_full(devices, gst_object_unref);
        gst_device_monitor_stop(monitor);
    }
    gst_object_unref(monitor);
    return element;
}

std::string availabilityMessage(bool camera, bool microphone) {
    if (camera && microphone) return {};
    if (!camera && !microphone) return "No camera and no microphone found";
    return camera ? "No microphone found" : "No camera found";
}

}  // namespace

CaptureAvailability probeCaptureAvailability(CaptureSource camera, CaptureSource microphone) {
    CaptureAvailability result;
    if (ensureGStreamer()) {
        if (camera == CaptureSource::test) {
            result.camera = true;
            result.cameraName = "Test picture";
        } else if (camera == CaptureSource::automatic) {
            if (GstElement* element = defaultDevice("Video/Source", &result.cameraName)) {
                result.camera = true;
                gst_object_unref(element);
            }
        }
        if (microphone == CaptureSource::test) {
            result.microphone = true;
        } else if (microphone == CaptureSource::automatic) {
            if (GstElement* element = defaultDevice("Audio/Source", nullptr)) {
                result.microphone = true;
                gst_object_unref(element);
            }
        }
    }
    result.message = availabilityMessage(result.camera, result.microphone);
    const std::string missing = ensureGStreamer() ? CameraRecording::missingElements() : "GStreamer";
    result.recording = missing.empty();
    if (!missing.empty()) result.recordingMessage = "Videos cannot be recorded: " + missing + " not installed";
    return result;
}

std::shared_ptr<CaptureDevices> CaptureDevices::open(CaptureSource camera, CaptureSource microphone, bool audio) {
    auto devices = std::make_shared<CaptureDevices>();
    if (auto ready = ensureGStreamer(); !ready) {
        devices->error = ready.error();
        return devices;
    }
    if (camera == CaptureSource::test) {
        devices->video = makeElement("videotestsrc", "camera");
        if (devices->video) {
            gst_object_ref_sink(devices->video);
            g_object_set(devices->video, "is-live", TRUE, nullptr);
        }
    } else if (camera == CaptureSource::automatic) {
        devices->video = defaultDevice("Video/Source", nullptr);
    }
    if (audio) {
        if (microphone == CaptureSource::test) {
            devices->audio = makeElement("audiotestsrc", "microphone");
            if (devices->audio) {
                gst_object_ref_sink(devices->audio);
                g_object_set(devices->audio, "is-live", TRUE, "volume", 0.3, nullptr);
            }
        } else if (microphone == CaptureSource::automatic) {
            if (GstElement* found = defaultDevice("Audio/Source", nullptr)) {
                gst_object_unref(found);
                // The default input, as the sound settings choose it.
                devices->audio = makeElement("autoaudiosrc", "microphone");
                if (devices->audio) gst_object_ref_sink(devices->audio);
                devices->audioIsAutomatic = true;
            }
        }
    }
    const std::string missing = availabilityMessage(devices->video != nullptr, !audio || devices->audio);
    if (!missing.empty()) devices->error = Error{CaptureErrorDomain, CaptureErrorCode::noDevice, missing};
    return devices;
}

CaptureDevices::~CaptureDevices() {
    if (video) gst_object_unref(video);
    if (audio) gst_object_unref(audio);
}

}  // namespace platform
