#pragma once

#include <string>
#include <string_view>

#include "records/PilotPreferences.h"

namespace vantor {

class InstrumentLink;
class Prompts;

// One fetch, send, load or save of the pilot preferences, with the messages
// of each failure. Made for one operation on the port name of its caller.
class PilotPreferencesTransfer {
public:
    PilotPreferencesTransfer(Prompts& prompts, std::string portName)
        : prompts_(prompts), portName_(std::move(portName)) {}
    virtual ~PilotPreferencesTransfer() = default;

    // True when the record was read from the instrument; otherwise it keeps
    // its previous contents.
    bool fetch(PilotPreferences& record, InstrumentLink& link);
    // Adjusts the record as the instrument needs it and sends it. True when
    // "Success" was reported.
    bool send(PilotPreferences& record, InstrumentLink& link);
    // The same over a link of their own, closed when they return.
    bool fetch(PilotPreferences& record);
    bool send(PilotPreferences& record);
    // Lets the user pick a ".ppf" file and parses it into the record. A file
    // with a number the record cannot hold is refused with a message.
    bool loadFile(PilotPreferences& record, const void* owner);
    // Lets the user pick a file name and writes the record as a ".ppf" line.
    bool saveFile(const PilotPreferences& record, const void* owner);

    // The same without a file dialog.
    bool loadFileFrom(PilotPreferences& record, const std::string& path,
                      const void* owner = nullptr);
    // A ".ppf" text already read into the record; false after the message
    // when it is refused.
    bool loadFileText(PilotPreferences& record, std::string_view text, const void* owner = nullptr);
    bool saveFileTo(const PilotPreferences& record, const std::string& path);

private:
    void say(const std::string& text, const char* caption, const void* owner = nullptr);

    Prompts& prompts_;
    std::string portName_;
};

}  // namespace vantor
