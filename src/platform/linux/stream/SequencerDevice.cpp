#include "SequencerDevice.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace parlet {
namespace {

// Commands and replies are plain ASCII whatever the desktop's locale, which <cctype> and the C
// library's number conversions would follow.
std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return text;
}

bool isBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// The file as stream records: short messages and tempo changes, and a no-op at the end of the
// last track so that the buffer finishes there. System-exclusive events are left out: a file
// played on the loop must never reconfigure its modules.
std::vector<char> toRecords(const SmfFile &file) {
    std::vector<char> records(file.events.size() * 12 + 12);
    char *at = records.data();
    const auto put = [&at](std::uint32_t delta, std::uint32_t event) {
        const std::uint32_t record[3] = {delta, 0, event};
        std::memcpy(at, record, sizeof record);
        at += sizeof record;
    };
    std::uint32_t previous = 0;
    for (const auto &event : file.events) {
        if (event.kind == SmfEvent::Long)
            continue;
        put(event.tick - previous,
            event.kind == SmfEvent::Tempo ? (MEVT_TEMPO << 24) | event.word : event.word);
        previous = event.tick;
    }
    put(file.endTick - std::min(previous, file.endTick), MEVT_NOP << 24);
    records.resize(static_cast<std::size_t>(at - records.data()));
    return records;
}

bool smpte(const SmfFile &file) {
    return file.division & 0x8000;
}

int framesPerSecond(const SmfFile &file) {
    return -static_cast<std::int8_t>((file.division >> 8) & 0xFF);
}

std::string number(double value) {
    char text[32];
    auto written =
        value == std::floor(value) && std::fabs(value) < 1e15
            ? std::to_chars(text, text + sizeof text, static_cast<long long>(value))
            : std::to_chars(text, text + sizeof text, value, std::chars_format::general, 15);
    return std::string(text, written.ptr);
}

struct ErrorText {
    MMRESULT code;
    const char *text;
};

constexpr ErrorText errorTexts[] = {
    {MCIERR_UNRECOGNIZED_KEYWORD, "The command contains a word the MIDI sequencer does not "
                                  "understand."},
    {MCIERR_UNRECOGNIZED_COMMAND, "The MIDI sequencer does not understand this command."},
    {MCIERR_INVALID_DEVICE_NAME, "No MIDI file is open under this name. Open the file first."},
    {MCIERR_CANNOT_LOAD_DRIVER, "Only MIDI files can be played here (device type sequencer)."},
    {MCIERR_BAD_INTEGER, "The command needs a number where it has none."},
    {MCIERR_MISSING_PARAMETER, "The command is missing a value."},
    {MCIERR_FILE_NOT_FOUND, "The file cannot be found or cannot be read. Check the folder and "
                            "the file name."},
    {MCIERR_OUTOFRANGE, "The value is out of range."},
    {MCIERR_DUPLICATE_ALIAS, "A MIDI file is already open under this name. Close it first."},
    {MCIERR_MISSING_DEVICE_NAME, "The command does not say which open file it is meant for."},
    {MCIERR_INVALID_FILE, "The file is not a MIDI file, or it is damaged."},
    {MCIERR_SEQ_PORT_INUSE, "The MIDI output device is in use by another program."},
    {MCIERR_SEQ_PORT_NONEXISTENT, "The MIDI output device does not exist. Choose another "
                                  "output device."},
};

// Splits a command string into words; a double-quoted part is one word without its quotes.
std::vector<std::string> mciWords(const std::string &command) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < command.size()) {
        if (isBlank(command[i])) {
            ++i;
        } else if (command[i] == '"') {
            auto close = command.find('"', i + 1);
            if (close == std::string::npos)
                close = command.size();
            words.push_back(command.substr(i + 1, close - i - 1));
            i = close + 1;
        } else {
            auto start = i;
            while (i < command.size() && !isBlank(command[i]))
                ++i;
            words.push_back(command.substr(start, i - start));
        }
    }
    return words;
}

} // namespace

SequencerDevice::SequencerDevice(MidiOutputs &outputs, StreamTimerFactory timers, bool realtime)
    : m_outputs(outputs), m_timers(std::move(timers)), m_realtime(realtime) {}

SequencerDevice::~SequencerDevice() = default;

MMRESULT SequencerDevice::mciSendStringA(const std::string &command, std::string *returnString,
                                         unsigned returnLength, std::uintptr_t) {
    auto words = mciWords(command);
    // "wait" and "notify" ask about completion, which no caller here needs.
    std::erase_if(words, [](const std::string &w) {
        auto word = lower(w);
        return word == "wait" || word == "notify";
    });
    std::string reply;
    MMRESULT result = MMSYSERR_NOERROR;
    if (words.empty()) {
        result = MCIERR_UNRECOGNIZED_COMMAND;
    } else {
        auto verb = lower(words[0]);
        static const char *const verbs[] = {"open", "close", "play", "pause",
                                            "stop", "seek",  "set",  "status"};
        bool known = std::any_of(std::begin(verbs), std::end(verbs),
                                 [&](const char *v) { return verb == v; });
        if (!known) {
            result = MCIERR_UNRECOGNIZED_COMMAND;
        } else if (verb == "open") {
            result = open(words);
        } else if (words.size() < 2) {
            result = MCIERR_MISSING_DEVICE_NAME;
        } else {
            auto it = m_devices.find(lower(words[1]));
            if (it == m_devices.end()) {
                result = MCIERR_INVALID_DEVICE_NAME;
            } else {
                Device &device = *it->second;
                noticeEnd(device);
                if (verb == "close") {
                    result = words.size() == 2 ? MMSYSERR_NOERROR : MCIERR_UNRECOGNIZED_KEYWORD;
                    if (!result)
                        m_devices.erase(it);
                } else if (verb == "play") {
                    result = play(device, words);
                } else if (verb == "pause" || verb == "stop") {
                    if (words.size() != 2) {
                        result = MCIERR_UNRECOGNIZED_KEYWORD;
                    } else if (device.mode != Mode::Stopped) {
                        device.scheduler->pause();
                        device.mode = verb == "stop" ? Mode::Stopped : Mode::Paused;
                    }
                } else if (verb == "seek") {
                    if (words.size() != 4 || lower(words[2]) != "to" || lower(words[3]) != "start")
                        result = MCIERR_UNRECOGNIZED_KEYWORD;
                    else
                        rewind(device);
                } else if (verb == "set") {
                    result = set(device, words);
                } else {
                    result = status(device, words, reply);
                }
            }
        }
    }
    if (returnString) {
        if (result != MMSYSERR_NOERROR || returnLength == 0)
            reply.clear();
        else if (reply.size() > returnLength - 1)
            reply.resize(returnLength - 1);
        *returnString = reply;
    }
    return result;
}

bool SequencerDevice::mciGetErrorStringA(MMRESULT error, std::string &text, unsigned length) {
    for (const auto &entry : errorTexts) {
        if (entry.code != error)
            continue;
        text = entry.text;
        if (length == 0)
            text.clear();
        else if (text.size() > length - 1)
            text.resize(length - 1);
        return true;
    }
    return false;
}

MMRESULT SequencerDevice::open(const std::vector<std::string> &words) {
    if (words.size() < 2)
        return MCIERR_MISSING_PARAMETER;
    const std::string &path = words[1];
    std::string alias = lower(path);
    for (std::size_t i = 2; i < words.size(); i += 2) {
        auto keyword = lower(words[i]);
        if (keyword != "type" && keyword != "alias")
            return MCIERR_UNRECOGNIZED_KEYWORD;
        if (i + 1 >= words.size())
            return MCIERR_MISSING_PARAMETER;
        if (keyword == "type" && lower(words[i + 1]) != "sequencer")
            return MCIERR_CANNOT_LOAD_DRIVER;
        if (keyword == "alias")
            alias = lower(words[i + 1]);
    }
    if (m_devices.count(alias))
        return MCIERR_DUPLICATE_ALIAS;
    // Reading a pipe or a device would block the window, and a folder has no bytes to read.
    std::error_code error;
    const auto kind = std::filesystem::status(path, error);
    if (!error && std::filesystem::exists(kind) && !std::filesystem::is_regular_file(kind))
        return MCIERR_INVALID_FILE;
    auto device = std::make_unique<Device>();
    switch (loadSmf(path, device->file)) {
    case SmfLoad::Missing:
        return MCIERR_FILE_NOT_FOUND;
    case SmfLoad::Invalid:
        return MCIERR_INVALID_FILE;
    case SmfLoad::Ok:
        break;
    }
    device->records = toRecords(device->file);
    device->header.lpData = device->records.data();
    device->header.dwBufferLength = static_cast<std::uint32_t>(device->records.size());
    device->header.dwBytesRecorded = device->header.dwBufferLength;
    if (smpte(device->file)) {
        device->nominalTempo = framesPerSecond(device->file);
    } else {
        std::uint32_t tempo = 500000;
        for (const auto &event : device->file.events) {
            if (event.tick != 0)
                break;
            if (event.kind == SmfEvent::Tempo)
                tempo = event.word;
        }
        device->nominalTempo = 60e6 / tempo;
    }
    device->tempoReply = std::round(device->nominalTempo);
    m_devices.emplace(alias, std::move(device));
    return MMSYSERR_NOERROR;
}

MMRESULT SequencerDevice::connect(Device &device, int port) {
    std::unique_ptr<MidiOutPort> out;
    auto result = m_outputs.openOutput(port, out);
    if (result == MMSYSERR_BADDEVICEID || result == MMSYSERR_NODRIVER)
        return MCIERR_SEQ_PORT_NONEXISTENT;
    if (result != MMSYSERR_NOERROR || !out)
        return MCIERR_SEQ_PORT_INUSE;
    device.scheduler.reset(); // the old port is released before the new one plays
    device.scheduler = std::make_unique<StreamScheduler>(m_timers(), std::move(out), m_realtime);
    device.scheduler->setDivision(device.file.division);
    if (device.tempo > 0)
        device.scheduler->setSpeed(device.tempo / device.tempoReply);
    device.port = port;
    device.mode = Mode::Stopped;
    device.atStart = true;
    device.header.dwFlags = MHDR_PREPARED;
    device.scheduler->enqueue(&device.header);
    return MMSYSERR_NOERROR;
}

// A stopped playing window rewinds every second: at the start with nothing sounding there is
// nothing to silence, and the loop is spared 32 controller messages a second.
void SequencerDevice::rewind(Device &device) {
    if (device.mode == Mode::Stopped && device.atStart)
        return;
    device.mode = Mode::Stopped;
    device.atStart = true;
    if (!device.scheduler)
        return;
    device.scheduler->stop();
    device.scheduler->enqueue(&device.header);
}

// The end of the file is seen when the one buffer is done; the device then stands stopped at
// the end until it is rewound.
void SequencerDevice::noticeEnd(Device &device) {
    if (device.mode == Mode::Playing && (device.header.dwFlags.load() & MHDR_DONE)) {
        device.scheduler->pause();
        device.mode = Mode::Stopped;
    }
}

MMRESULT SequencerDevice::play(Device &device, const std::vector<std::string> &words) {
    bool fromStart = false;
    if (words.size() == 4 && lower(words[2]) == "from") {
        int from = 0;
        auto [end, error] =
            std::from_chars(words[3].data(), words[3].data() + words[3].size(), from);
        if (error != std::errc() || end != words[3].data() + words[3].size())
            return MCIERR_BAD_INTEGER;
        if (from != 0)
            return MCIERR_OUTOFRANGE; // playing from elsewhere than the start is not offered
        fromStart = true;
    } else if (words.size() != 2) {
        return MCIERR_UNRECOGNIZED_KEYWORD;
    }
    if (!device.scheduler) {
        if (auto result = connect(device, device.port))
            return result;
    }
    if (fromStart || (device.header.dwFlags.load() & MHDR_DONE))
        rewind(device);
    device.scheduler->restart();
    device.mode = Mode::Playing;
    device.atStart = false;
    return MMSYSERR_NOERROR;
}

MMRESULT SequencerDevice::set(Device &device, const std::vector<std::string> &words) {
    if (words.size() < 3)
        return MCIERR_MISSING_PARAMETER;
    auto what = lower(words[2]);
    if (what != "port" && what != "tempo")
        return MCIERR_UNRECOGNIZED_KEYWORD;
    if (words.size() < 4)
        return MCIERR_MISSING_PARAMETER;
    if (words.size() > 4)
        return MCIERR_UNRECOGNIZED_KEYWORD;
    const std::string &text = words[3];
    if (what == "port") {
        int port = 0;
        auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), port);
        if (error != std::errc() || end != text.data() + text.size())
            return MCIERR_BAD_INTEGER;
        if (port < MIDI_MAPPER)
            return MCIERR_SEQ_PORT_NONEXISTENT;
        return connect(device, port);
    }
    double tempo = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), tempo);
    if (error != std::errc() || end != text.data() + text.size())
        return MCIERR_BAD_INTEGER;
    if (!(tempo > 0) || !std::isfinite(tempo))
        return MCIERR_OUTOFRANGE;
    device.tempo = tempo;
    if (device.scheduler)
        device.scheduler->setSpeed(tempo / device.tempoReply);
    return MMSYSERR_NOERROR;
}

std::string SequencerDevice::timeReply(const Device &device, std::uint64_t ticks) const {
    if (!smpte(device.file))
        return std::to_string(ticks * 4 / device.file.division);
    std::uint64_t ticksPerFrame = device.file.division & 0xFF;
    std::uint64_t fps = framesPerSecond(device.file) == 29 ? 30 : framesPerSecond(device.file);
    std::uint64_t frames = ticks / ticksPerFrame;
    std::uint64_t seconds = frames / fps;
    char text[96];
    std::snprintf(text, sizeof text, "%02llu:%02llu:%02llu:%02llu",
                  static_cast<unsigned long long>(seconds / 3600),
                  static_cast<unsigned long long>(seconds / 60 % 60),
                  static_cast<unsigned long long>(seconds % 60),
                  static_cast<unsigned long long>(frames % fps));
    return text;
}

MMRESULT SequencerDevice::status(Device &device, const std::vector<std::string> &words,
                                 std::string &reply) {
    std::string item;
    for (std::size_t i = 2; i < words.size(); ++i) {
        if (i > 2)
            item.push_back(' ');
        item.append(lower(words[i]));
    }
    if (item == "division type") {
        if (!smpte(device.file)) {
            reply = "PPQN";
        } else {
            int fps = framesPerSecond(device.file);
            reply = fps == 29 ? "SMPTE 30 Drop" : "SMPTE " + std::to_string(fps);
        }
    } else if (item == "length") {
        reply = timeReply(device, device.file.endTick);
    } else if (item == "position") {
        std::uint64_t ticks = device.scheduler ? device.scheduler->positionTicks() : 0;
        if (device.header.dwFlags.load() & MHDR_DONE)
            ticks = device.file.endTick;
        reply = timeReply(device, std::min<std::uint64_t>(ticks, device.file.endTick));
    } else if (item == "tempo") {
        reply = number(device.tempo > 0 ? device.tempo : device.tempoReply);
    } else if (item == "mode") {
        static const char *const modes[] = {"stopped", "playing", "paused"};
        reply = modes[static_cast<int>(device.mode)];
    } else if (item.empty()) {
        return MCIERR_MISSING_PARAMETER;
    } else {
        return MCIERR_UNRECOGNIZED_KEYWORD;
    }
    return MMSYSERR_NOERROR;
}

} // namespace parlet
