#pragma once
// The commands of the kelvo command line. Data goes to standard output,
// messages and progress to standard error.
#include <string>
#include <vector>

namespace kelvo::cli {

// Exit codes.
enum : int {
    kExitOk = 0,
    kExitNotFound = 1,       // no tool, no answer, no such code
    kExitUsage = 2,
    kExitUnreadable = 3,     // a file cannot be read or written
    kExitBadPackage = 4,
    kExitPortBusy = 5,       // the port is held, locked or not permitted
    kExitTransferFailed = 6,
    kExitNetwork = 7,
    kExitDownloadFailed = 8,
    kExitOtherModel = 9,     // the package is for another model than the tool, or names none
    kExitNotSigned = 10,     // the maker's signed list does not vouch for the package: nothing written or kept
    kExitInterrupted = 130,  // a write stopped by a second Ctrl-C: the tool needs flashing again
};

// Options common to every command.
struct Options {
    std::string port;                    // --port: a device path; else found through sysfs
    std::string sysfs = "/sys";          // --sysfs: root of the sysfs tree searched
    std::string devDir = "/dev";         // --dev: where the tty nodes of that tree are
    std::string lockDir;                 // --lock-dir: UUCP lock files; default /run/lock or /var/lock
    std::string server;                  // --server: the update server's base address
    std::string language = "EN";         // --lang
    std::string model;                   // --model: instead of asking the tool
    std::string settings;                // --settings: a Kelvo settings file with the installed versions
    std::string record;                  // --record: the settings file that a flash records into
    std::string dir = ".";               // --dir: where download writes
    std::string codes;                   // --codes: the trouble-code file
    std::string list;                    // --list PREFIX
    std::string library;                 // --library: the report library folder
    double seconds = -1;                 // --seconds
    bool help = false;
    std::vector<std::string> args;       // the command and its operands
};

// Parses argv; false (with `error`) on an unknown option or a missing value.
bool ParseOptions(int argc, char** argv, Options* out, std::string* error);

int Run(int argc, char** argv);

} // namespace kelvo::cli
