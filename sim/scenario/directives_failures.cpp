// The "fail" directive: failures on demand. A line asks that one Win32
// call fail with a Windows error, for one object or any, once or every
// time; it becomes a FaultRequest in the machine's Faults, which the
// emulated DLLs ask before they act (sim/machine/faults.h).
//
//   fail <call> [<object>] <error> [once]
//
// The object is written as a person writes it and stored as the emulator
// names it: a short registry root becomes the long one, a device label
// becomes the device's instance ID. An unknown call or error name, or an
// object of the wrong kind for the call, is refused when the line is read;
// a device the machine lacks, when the plan is applied.
#include "sim/include/windows.h"
#include "sim/machine/faults.h"
#include "sim/machine/registry.h"
#include "sim/scenario/plan.h"

namespace sim::loader {

namespace {

// What the object of a call is.
enum class FaultObject {
    Device,       // a label or an instance ID
    RegistryKey,  // a key path, any root spelling
    DriveFile,    // a path on drive C:
    Service,      // a service name
    HardwareId,   // a hardware ID as the tool passes it
};

// The calls that can fail on demand, spelled as the DLLs ask for them.
const sim::Word<FaultObject> kCalls[] = {
    {"SPDRP_HARDWAREID", FaultObject::Device},
    {"DIF_REMOVE", FaultObject::Device},
    {"UpdateDriverForPlugAndPlayDevicesA", FaultObject::HardwareId},
    {"RegSetValueExA", FaultObject::RegistryKey},
    {"RegSetKeySecurity", FaultObject::RegistryKey},
    {"CopyFileA", FaultObject::DriveFile},
    {"DeleteFileA", FaultObject::DriveFile},
    {"ControlService", FaultObject::Service},
};

#define TAV_ERROR_WORD(name) {#name, static_cast<DWORD>(name)}
const sim::Word<DWORD> kErrors[] = {
    TAV_ERROR_WORD(ERROR_FILE_NOT_FOUND),
    TAV_ERROR_WORD(ERROR_PATH_NOT_FOUND),
    TAV_ERROR_WORD(ERROR_ACCESS_DENIED),
    TAV_ERROR_WORD(ERROR_INVALID_HANDLE),
    TAV_ERROR_WORD(ERROR_NOT_ENOUGH_MEMORY),
    TAV_ERROR_WORD(ERROR_INVALID_DATA),
    TAV_ERROR_WORD(ERROR_GEN_FAILURE),
    TAV_ERROR_WORD(ERROR_SHARING_VIOLATION),
    TAV_ERROR_WORD(ERROR_FILE_EXISTS),
    TAV_ERROR_WORD(ERROR_INVALID_PARAMETER),
    TAV_ERROR_WORD(ERROR_INSUFFICIENT_BUFFER),
    TAV_ERROR_WORD(ERROR_ALREADY_EXISTS),
    TAV_ERROR_WORD(ERROR_MORE_DATA),
    TAV_ERROR_WORD(ERROR_NO_MORE_ITEMS),
    TAV_ERROR_WORD(ERROR_BADKEY),
    TAV_ERROR_WORD(ERROR_CANTWRITE),
    TAV_ERROR_WORD(ERROR_KEY_DELETED),
    TAV_ERROR_WORD(ERROR_DEPENDENT_SERVICES_RUNNING),
    TAV_ERROR_WORD(ERROR_INVALID_SERVICE_CONTROL),
    TAV_ERROR_WORD(ERROR_SERVICE_REQUEST_TIMEOUT),
    TAV_ERROR_WORD(ERROR_SERVICE_DATABASE_LOCKED),
    TAV_ERROR_WORD(ERROR_SERVICE_DOES_NOT_EXIST),
    TAV_ERROR_WORD(ERROR_SERVICE_CANNOT_ACCEPT_CTRL),
    TAV_ERROR_WORD(ERROR_SERVICE_NOT_ACTIVE),
    TAV_ERROR_WORD(ERROR_SERVICE_MARKED_FOR_DELETE),
    TAV_ERROR_WORD(ERROR_PRIVILEGE_NOT_HELD),
    TAV_ERROR_WORD(ERROR_INVALID_SECURITY_DESCR),
    TAV_ERROR_WORD(ERROR_DI_DO_DEFAULT),
    TAV_ERROR_WORD(ERROR_NO_SUCH_DEVINST),
    TAV_ERROR_WORD(ERROR_INVALID_REG_PROPERTY),
    TAV_ERROR_WORD(ERROR_NO_DRIVER_SELECTED),
    TAV_ERROR_WORD(ERROR_INVALID_CLASS_INSTALLER),
    TAV_ERROR_WORD(ERROR_NO_COMPAT_DRIVERS),
};
#undef TAV_ERROR_WORD

constexpr unsigned long long kMostError = 0xFFFFFFFFull;

const char* const kUsage = "fail <call> [<object>] <error> [once]";

DWORD ReadError(const std::string& word) {
    if (const sim::Word<DWORD>* named = FindWord(kErrors, word)) return named->value;
    const auto number = Unsigned(word, kMostError);
    if (!number) {
        Refuse(Quoted(word) + " is not a Windows error this emulator knows by name (" +
               ListWords(kErrors, WordList::Plain, {"a number"}) + ")");
    }
    if (*number == 0) Refuse("error 0 is success: give the error the call is to fail with");
    return static_cast<DWORD>(*number);
}

// The object as the emulator names it; "" for a device, which is named
// once the plan is applied.
std::string ReadObject(Plan& plan, const Line& line, FaultObject kind, const std::string& object) {
    switch (kind) {
        case FaultObject::Device:
            NoteDeviceReference(plan, line, object);
            return "";
        case FaultObject::RegistryKey: {
            std::string root;
            std::vector<std::string> names;
            if (!Registry::SplitKeyPath(object, &root, &names)) {
                Refuse(Quoted(object) + " is not a registry key path (HKLM\\Software\\...)");
            }
            return names.empty() ? root : root + "\\" + JoinPath(names, names.size());
        }
        case FaultObject::DriveFile:
            if (!IsDrivePath(object)) Refuse("expected a path of drive C: (C:\\...), not " + Quoted(object));
            return object;
        case FaultObject::Service:
        case FaultObject::HardwareId:
            return object;
    }
    return object;
}

}  // namespace

void ReadFail(Plan& plan, const Line& line) {
    size_t words = line.Words();
    const bool once = words >= 3 && !line.tokens[words].quoted && EqualNoCase(line.Word(words), "once");
    if (once) --words;
    if (words < 2 || words > 3) Refuse(std::string("expected: ") + kUsage);
    const sim::Word<FaultObject>* call = FindWord(kCalls, line.Word(1));
    if (!call) {
        Refuse("unknown call " + Quoted(line.Word(1)) + " (calls that can fail on demand: " +
               ListWords(kCalls, WordList::Plain) + ")");
    }
    FaultRequest request;
    request.call = call->text;
    request.once = once;
    request.error = ReadError(line.Word(words));
    const std::string object = words == 3 ? line.Word(2) : "";
    if (!object.empty()) request.object = ReadObject(plan, line, call->value, object);
    const bool device = !object.empty() && call->value == FaultObject::Device;
    AddStep(plan, line, kRest, [request, device, object](Applier& a) {
        FaultRequest r = request;
        if (device) r.object = a.Resolve(object);
        a.machine.faults.Add(std::move(r));
    });
}

}  // namespace sim::loader
