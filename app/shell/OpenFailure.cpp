#include "shell/OpenFailure.h"

#include "foundation/Localized.h"

namespace parlivo {

OpenFailureText openFailureText(const std::string& address) {
    return {platform::localized("CANNOT_OPEN_ADDRESS_TITLE", "The address could not be opened"),
            platform::localized("CANNOT_OPEN_ADDRESS_MESSAGE",
                                "No program on this computer is set up to open this address:") +
                "\n\n" + address};
}

}  // namespace parlivo
