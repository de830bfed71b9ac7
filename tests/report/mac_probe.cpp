// Reads the adapters through "ipconfig /all" alone, as the device identity does when the IP
// Helper API fails, and writes the address of every record found (12 hexadecimal digits, one
// per line) into the file named by its argument. Exit code 0 when the read succeeded, 1 when it
// failed (ipconfig could not be started), 2 when the file could not be written.
#include <cstdio>

#include "report/mac_reader.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    CMACReaderEx reader;
    const bool read = reader.Read(CMACReaderEx::kIpconfig, 0);
    FILE* out = std::fopen(argv[1], "w");
    if (!out) return 2;
    for (const AdapterRecord& record : reader.adapters()) {
        for (int i = 0; i < 6; ++i) std::fprintf(out, "%02X", record.address[i]);
        std::fprintf(out, "\n");
    }
    std::fclose(out);
    return read ? 0 : 1;
}
