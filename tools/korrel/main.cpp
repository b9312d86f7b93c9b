// A stand-in for the Ombrix configuration tool: it reads the command lines that Parlet composes,
// says in words what it was asked, monitors MIDI input and runs the data diagnostic around the
// loop for real. Operations that need the modules' own protocol only say what they would do.
#include "KorrelArgs.h"
#include "Loop.h"
#include "platform/RealServices.h"

#include <atomic>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <deque>
#include <iostream>
#include <mutex>
#include <thread>

namespace {

using namespace korrel;
using namespace std::chrono_literals;

std::atomic<bool> g_stop{false};

extern "C" void onSignal(int) {
    g_stop = true;
}

// Messages from the input callback, which runs on the driver's thread.
class Inbox {
  public:
    void push(std::uint32_t packed) {
        {
            std::lock_guard lock(m_mutex);
            m_messages.push_back(packed);
        }
        m_ready.notify_one();
    }

    std::optional<std::uint32_t> pop(std::chrono::milliseconds timeout) {
        std::unique_lock lock(m_mutex);
        if (!m_ready.wait_for(lock, timeout, [&] { return !m_messages.empty(); }))
            return std::nullopt;
        std::uint32_t packed = m_messages.front();
        m_messages.pop_front();
        return packed;
    }

    static void callback(parlet::HMIDIIN, std::uint32_t msg, std::uintptr_t instance,
                         std::uintptr_t param1, std::uintptr_t) {
        if (msg == parlet::MIM_DATA)
            reinterpret_cast<Inbox *>(instance)->push(static_cast<std::uint32_t>(param1));
    }

  private:
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<std::uint32_t> m_messages;
};

// Ends the run when the user presses Enter or standard input ends.
void watchInput() {
    std::thread([] {
        std::string line;
        std::getline(std::cin, line);
        g_stop = true;
    }).detach();
}

std::string inputName(parlet::MidiSystem &midi, int device) {
    parlet::MIDIINCAPS caps;
    if (midi.midiInGetDevCapsA(device, caps) != parlet::MMSYSERR_NOERROR)
        return {};
    return caps.szPname.data();
}

std::string outputName(parlet::MidiSystem &midi, int device) {
    parlet::MIDIOUTCAPS caps;
    if (midi.midiOutGetDevCapsA(device, caps) != parlet::MMSYSERR_NOERROR)
        return {};
    return caps.szPname.data();
}

bool openInput(parlet::MidiSystem &midi, int device, Inbox &inbox, parlet::HMIDIIN &handle) {
    if (device < 0) {
        std::cerr << "korrel: no MIDI input device was chosen (-i-1)" << std::endl;
        return false;
    }
    const auto result =
        midi.midiInOpen(&handle, device, &Inbox::callback, reinterpret_cast<std::uintptr_t>(&inbox),
                        parlet::CALLBACK_FUNCTION);
    if (result == parlet::MMSYSERR_BADDEVICEID) {
        std::cerr << "korrel: MIDI input device " << device << " does not exist ("
                  << midi.midiInGetNumDevs() << " input devices present)" << std::endl;
        return false;
    }
    if (result != parlet::MMSYSERR_NOERROR) {
        std::cerr << "korrel: MIDI input device " << device << " cannot be opened (error " << result
                  << ")" << std::endl;
        return false;
    }
    midi.midiInStart(handle);
    return true;
}

int monitor(const Request &request) {
    auto midi = parlet::makeRealMidiSystem();
    Inbox inbox;
    parlet::HMIDIIN handle = 0;
    if (!openInput(*midi, request.inputDevice, inbox, handle))
        return 1;
    std::cout << "Monitoring input device " << request.inputDevice << " ("
              << inputName(*midi, request.inputDevice) << "). Press Enter to stop." << std::endl;
    watchInput();
    long long count = 0;
    while (!g_stop) {
        if (auto packed = inbox.pop(200ms)) {
            ++count;
            std::cout << decode(unpack(*packed)) << std::endl;
        }
    }
    midi->midiInStop(handle);
    midi->midiInClose(handle);
    std::cout << "Monitor ended after " << count << " messages." << std::endl;
    return 0;
}

int dataDiagnostic(const Request &request) {
    auto midi = parlet::makeRealMidiSystem();
    std::unique_ptr<parlet::MidiOutPort> port;
    const auto opened = midi->openOutput(request.outputDevice, port);
    if (opened != parlet::MMSYSERR_NOERROR || !port) {
        std::cerr << "korrel: MIDI output device " << request.outputDevice << " cannot be opened ("
                  << midi->midiOutGetNumDevs() << " output devices present)" << std::endl;
        return 1;
    }
    Inbox inbox;
    parlet::HMIDIIN handle = 0;
    if (!openInput(*midi, request.inputDevice, inbox, handle))
        return 1;
    std::cout << "Sending to output device " << request.outputDevice << " ("
              << outputName(*midi, request.outputDevice) << "), receiving on input device "
              << request.inputDevice << " (" << inputName(*midi, request.inputDevice) << ")."
              << std::endl;
    if (request.diagnosticCount < 0) {
        std::cout << "Press Enter to stop." << std::endl;
        watchInput();
    }
    DiagnosticLoop loop;
    loop.send = [&](const Bytes &message) {
        port->send(message, std::chrono::steady_clock::now());
    };
    loop.receive = [&](std::chrono::milliseconds timeout) -> std::optional<Bytes> {
        if (auto packed = inbox.pop(timeout))
            return unpack(*packed);
        return std::nullopt;
    };
    loop.stop = [] { return g_stop.load(); };
    RandomMessages messages(std::random_device{}());
    const DiagnosticResult result =
        runDiagnostic(loop, messages, request.diagnosticCount, (request.debug & kShowDataBit) != 0,
                      (request.debug & 1) != 0, std::cout);
    midi->midiInStop(handle);
    midi->midiInClose(handle);
    return result.differed == 0 && result.lost == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[]) {
#ifndef _WIN32
    // Line by line into a pipe too, as the program that shows the output reads it. Not on
    // Windows: there the output is the tool's own console, and the C runtime takes line
    // buffering for full buffering and a size of 0 for an invalid argument.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
#endif
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);

    const std::vector<std::string> args(argv + 1, argv + argc);
    const ParseResult parsed = parseArgs(args);
    if (!parsed.request) {
        std::cerr << "korrel: " << parsed.error << std::endl;
        std::cerr << "usage: korrel -i <in> -o <out> [-m<n>] [-n <count>] [-d<hex>] <operation>"
                  << std::endl;
        return 2;
    }
    const Request &request = *parsed.request;
    std::cout << "korrel (stand-in): " << describe(request) << std::flush;
    switch (request.operation) {
    case Operation::Monitor:
        return monitor(request);
    case Operation::DataDiagnostic:
        return dataDiagnostic(request);
    default:
        std::cout << "No Ombrix modules are connected to answer, so nothing was sent to them."
                  << std::endl;
        return 0;
    }
}
