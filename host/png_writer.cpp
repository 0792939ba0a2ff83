#include "png_writer.h"
#include <string>
#include <vector>

namespace {

DWORD crc_table[256];

void init_crc()
{
    for (DWORD n = 0; n < 256; n++) {
        DWORD c = n;
        for (int k = 0; k < 8; k++)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        crc_table[n] = c;
    }
}

DWORD crc(const unsigned char *data, size_t size, DWORD c = 0xFFFFFFFFu)
{
    for (size_t i = 0; i < size; i++)
        c = crc_table[(c ^ data[i]) & 0xFF] ^ (c >> 8);
    return c;
}

void put32(std::string &out, DWORD v)
{
    out += (char)(v >> 24);
    out += (char)(v >> 16);
    out += (char)(v >> 8);
    out += (char)v;
}

void chunk(std::string &out, const char *type, const std::string &data)
{
    put32(out, (DWORD)data.size());
    std::string body = std::string(type, 4) + data;
    out += body;
    put32(out, crc((const unsigned char *)body.data(), body.size()) ^ 0xFFFFFFFFu);
}

}  // namespace

bool write_png(const wchar_t *path, const DWORD *pixels, int width, int height)
{
    init_crc();
    // Raw scanlines: filter byte 0, then RGBA.
    std::string raw;
    raw.reserve((size_t)height * (1 + 4 * (size_t)width));
    for (int y = 0; y < height; y++) {
        raw += '\0';
        for (int x = 0; x < width; x++) {
            DWORD p = pixels[(size_t)y * width + x];
            raw += (char)(p >> 16);
            raw += (char)(p >> 8);
            raw += (char)p;
            raw += (char)(p >> 24);
        }
    }
    // zlib stream of stored deflate blocks.
    std::string z = "\x78\x01";
    size_t pos = 0;
    do {
        size_t n = raw.size() - pos < 65535 ? raw.size() - pos : 65535;
        z += (char)(pos + n == raw.size() ? 1 : 0);
        z += (char)(n & 0xFF);
        z += (char)(n >> 8);
        z += (char)(~n & 0xFF);
        z += (char)((~n >> 8) & 0xFF);
        z.append(raw, pos, n);
        pos += n;
    } while (pos < raw.size());
    DWORD a = 1, b = 0;
    for (unsigned char c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    put32(z, (b << 16) | a);

    std::string png = "\x89PNG\r\n\x1a\n";
    std::string header;
    put32(header, (DWORD)width);
    put32(header, (DWORD)height);
    header += std::string("\x08\x06\x00\x00\x00", 5);
    chunk(png, "IHDR", header);
    chunk(png, "IDAT", z);
    chunk(png, "IEND", "");

    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, png.data(), (DWORD)png.size(), &written, NULL);
    CloseHandle(file);
    return ok && written == png.size();
}
