#include "SeqLoader.h"

#include "common/TextForms.h"

#include <filesystem>
#include <fstream>
#include <new>

namespace parlet::sequencer {

std::uint32_t SeqFileReader::bigEndian(int count) {
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i)
        value = value << 8 | byte();
    return value;
}

void SeqFileReader::readVarLen(std::uint32_t &value) {
    value = 0;
    std::uint8_t b = byte();
    while (b & 0x80) {
        value = value * 128 + (b & 0x7Fu);
        b = byte();
    }
    value = value * 128 + b;
}

namespace {

bool tagIs(SeqFileReader &in, const char (&tag)[5]) {
    bool same = true;
    for (int i = 0; i < 4; ++i)
        same = (in.byte() == static_cast<std::uint8_t>(tag[i])) && same;
    return same;
}

std::int32_t word(std::uint32_t value) {
    return static_cast<std::int32_t>(value);
}

enum class TrackEnd { Done, Invalid };

// The event loop of the one track, from its first delta on.
TrackEnd readTrack(SeqFileReader &in, std::uint64_t trackEnd, bool smpte, MessageBoxes &messages,
                   seq::CaptureBuffer &buffer) {
    std::uint8_t running = 0;
    std::uint32_t pending = 0; // deltas of skipped events, carried to the next stored one
    auto addEvent = [&](std::uint32_t event) {
        buffer.capAppend(word(event), word(pending));
        pending = 0;
    };
    while (in.position() < trackEnd && !in.atEnd()) {
        std::uint32_t delta;
        in.readVarLen(delta);
        pending += delta;
        std::uint8_t status = in.byte();
        std::uint8_t data1;
        if (status & 0x80) {
            data1 = in.byte();
        } else {
            data1 = status;
            status = running;
        }
        if (status < 0x80) {
            messages.MsgBox("Bug in case: stat = " + signNumber(status));
            return TrackEnd::Done;
        }
        if (status < 0xF0) {
            running = status;
            bool oneByte = status >= 0xC0 && status < 0xE0;
            std::uint32_t data2 = oneByte ? 0 : in.byte();
            addEvent(data2 << 16 | std::uint32_t{data1} << 8 | status);
        } else if (status == 0xF1 || status == 0xF3) {
            addEvent(std::uint32_t{data1} << 8 | status);
        } else if (status == 0xF2) {
            std::uint32_t data2 = in.byte();
            addEvent(data2 << 16 | std::uint32_t{data1} << 8 | status);
        } else if (status != 0xFF) {
            messages.MsgBox("Sorry, a status of " + hexUpper(status) +
                            " is not handled by this sequencer");
            return TrackEnd::Done;
        } else if (data1 == 0x2F) {
            return TrackEnd::Done;
        } else if (data1 == 0x51) {
            if (in.byte() != 3)
                return TrackEnd::Invalid;
            std::uint32_t tempo = in.bigEndian(3);
            // An SMPTE division ignores tempo, so its tempo events are dropped like other metas.
            if (!smpte)
                addEvent(tempo << 8 | 0xFF);
        } else {
            std::uint32_t length;
            in.readVarLen(length);
            in.skip(length);
        }
    }
    return TrackEnd::Done;
}

} // namespace

void loadMidiStream(std::istream &file, const std::string &path, MessageBoxes &messages,
                    seq::CaptureBuffer &buffer, SeqFileInfo &info) {
    info.seqFromFile = true;
    buffer.capReset();
    SeqFileReader in(file);
    auto invalid = [&] {
        messages.MsgBox("File " + path + " does not appear to be a valid MIDI file");
    };
    bool header = tagIs(in, "MThd");
    if (!(in.bigEndian(4) == 6 && header))
        return invalid();
    std::uint32_t format = in.bigEndian(2);
    if (format != 0) {
        messages.MsgBox("Sorry, only type 0 MIDI files are allowed. This file is type " +
                        std::to_string(format & 0xFF));
        return;
    }
    if (in.bigEndian(2) != 1)
        return invalid();
    auto division = static_cast<std::int16_t>(in.bigEndian(2));
    info.seqSmpte = division < 0;
    if (info.seqSmpte)
        messages.MsgBox("Warning: SMPTE time code is an untested feature");
    info.seqDivision = division;
    bool track = tagIs(in, "MTrk");
    std::uint32_t length = in.bigEndian(4);
    if (!track)
        return invalid();
    try {
        if (readTrack(in, in.position() + length, info.seqSmpte, messages, buffer) ==
            TrackEnd::Invalid)
            invalid();
    } catch (const std::bad_alloc &) {
        invalid(); // more events than memory holds; those stored so far stay
    }
}

void loadMidiFile(FileDialogs &dialogs, MessageBoxes &messages, std::string &midDir,
                  std::string &midFile, seq::CaptureBuffer &buffer, SeqFileInfo &info) {
    FileDialogRequest request;
    request.filter = "MIDI Files (*.mid)|*.mid";
    request.filterIndex = 1;
    request.initDir = midDir;
    request.fileName = midFile;
    auto chosen = dialogs.ShowOpen(request);
    if (!chosen)
        return;
    midDir = ExtractPath(*chosen);
    midFile = *chosen;
    // A file that cannot be read has no header, and is refused as any other file without one;
    // so is a pipe or a device, which could keep the window waiting for ever.
    // The program's 8-bit names are UTF-8 on every system (the manifest makes them so on
    // Windows); the library would read them in a code page of its own choosing.
    const std::filesystem::path path(std::u8string(chosen->begin(), chosen->end()));
    std::ifstream file;
    std::error_code error;
    if (std::filesystem::is_regular_file(path, error))
        file.open(path, std::ios::binary);
    loadMidiStream(file, *chosen, messages, buffer, info);
}

} // namespace parlet::sequencer
