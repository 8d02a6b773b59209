#pragma once
// Serves a SoftwareRecorder as the HID function of a Linux USB gadget (the f_hid function of
// configfs, whose device side is /dev/hidgN). The host then meets the recorder on a USB bus, real
// or virtual, as it meets the device itself: through its kernel's USB HID driver, enumerated by
// vendor, product and release, with the real report sizes and time-outs.
//
// The device file carries reports without a report ID, since the recorder uses no numbered
// reports: each read gives one 8-byte output report of the host, each write sends one 8-byte input
// report. The transport puts report ID 0 in front for the model and takes it off its answers. A
// short answer of the model goes out as a short report; an answer that is cut goes out as its
// first bytes, and the exchange in progress is forgotten (a new session takes the next frame).
//
// Presence on the bus is the gadget's binding to its USB device controller. With the gadget's UDC
// file given, the recorder's unplug (an unplug fault, or unplug()) unbinds the gadget by writing an
// empty line into that file, so that the host sees the device leave the bus within the frame that
// caused it; plugging the recorder in again binds the gadget to the controller it was last bound
// to. A gadget that is bound again from outside after such an unplug plugs the recorder in. While
// the gadget is unbound, whoever unbound it, the device file is closed; once it is bound again the
// file is opened anew with a fresh session. Without a UDC file an unplugged recorder stays on the
// bus and takes frames without answering them.
//
// Linux only; nothing outside the simulator depends on it.

#include "sim/recorder_transport.h"
#include "sim/serving_thread.h"
#include "sim/software_recorder.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace veldrin::sim {

struct HidgSettings {
    std::string devicePath; // the gadget's HID device file, such as /dev/hidg0
    std::string udcFile;    // the gadget's UDC file in configfs; empty: presence is not shown
    // Opens the device file for reading and writing without blocking; -1 with errno set when it
    // cannot. Empty: open(2). Tests put one end of a packet socket pair here.
    std::function<int(const std::string& path)> openDevice;
};

class HidgTransport final : public RecorderTransport {
public:
    HidgTransport(std::shared_ptr<SoftwareRecorder> recorder, HidgSettings settings);
    ~HidgTransport() override;
    HidgTransport(const HidgTransport&) = delete;
    HidgTransport& operator=(const HidgTransport&) = delete;

    // Opens the device file (the gadget must be bound by then) and reads the UDC file, then serves
    // on a thread of its own. False with a message when either cannot be had.
    bool start(std::string& error) override;
    // Closes the device file and joins the thread; the gadget's binding is left as it is.
    void stop() override;

    // Times the device file has been opened since start (for tests: a rebind opens it anew).
    int openCount() const { return opens_.load(); }

private:
    struct Link;
    void serve();
    bool openLink(Link& link);
    void followPresence(Link& link);
    void receive(Link& link);
    void flush(Link& link);
    void closeLink(Link& link);
    void newSession(Link& link);

    std::shared_ptr<SoftwareRecorder> recorder_;
    HidgSettings settings_;
    int firstFd_ = -1;         // opened by start(), handed to the thread
    std::string controller_;   // the controller the gadget was last seen bound to
    bool unboundByUs_ = false; // the gadget is off the bus because the recorder was unplugged
    int64_t nextBindingCheckMs_ = 0;
    std::atomic<int> opens_{0};
    ServingThread serving_; // last: its thread uses the members above
};

// What a gadget's UDC file holds: the controller's name when the gadget is bound, else empty.
// False when the file cannot be read.
bool readGadgetBinding(const std::string& udcFile, std::string& controller);
// Binds the gadget to `controller`, or unbinds it when `controller` is empty.
bool writeGadgetBinding(const std::string& udcFile, const std::string& controller);

} // namespace veldrin::sim
