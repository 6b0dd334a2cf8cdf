#pragma once

#include <memory>

#include "WQTempFile.h"
#include "media/WQPhotoEditor.h"

namespace parlivo {

class WQMediaViewController;

// Where the camera's results go (the web media controller). Either call means the camera is
// done: the receiver takes the camera's view off the window and lets go of the controller.
// Called on the main thread.
class WQMediaViewControllerDelegate {
public:
    virtual ~WQMediaViewControllerDelegate() = default;

    // The photo the user sent from the photo editor (the edited picture and its JPEG bytes), or
    // null when the user left the camera with back (or its window went away).
    virtual void didTakePhoto(WQMediaViewController& camera, std::shared_ptr<const WQEditedPhoto> photo) = 0;
    // A recording, converted as the configuration asks. The file is deleted when its last owner
    // lets go of it, so the receiver reads it first.
    virtual void didRecordVideo(WQMediaViewController& camera, std::shared_ptr<tovak::WQTempFile> file) = 0;
};

}  // namespace parlivo
