// Loads one MIDI file and prints its event count, as a whole process to time and to count
// instructions of. With --write it first writes the large test file: 533,200 events, format 0.
#include "LargeSmf.h"
#include "platform/linux/stream/SmfReader.h"

#include <cstdio>
#include <cstring>

int main(int argc, char **argv) {
    if (argc == 3 && std::strcmp(argv[1], "--write") == 0)
        return bench::writeLargeFile(argv[2]) ? 0 : 1;
    if (argc != 2) {
        std::fprintf(stderr, "usage: smf_load [--write] file.mid\n");
        return 2;
    }
    parlet::SmfFile file;
    if (parlet::loadSmf(argv[1], file) != parlet::SmfLoad::Ok) {
        std::fprintf(stderr, "not a MIDI file\n");
        return 1;
    }
    std::printf("%zu events\n", file.events.size());
    return 0;
}
