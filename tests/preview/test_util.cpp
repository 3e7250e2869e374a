#include "tests/preview/test_util.h"

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "img/img.h"

temp_dir::temp_dir()
{
    char name[] = "/tmp/zaridiravid-preview-XXXXXX";
    if (mkdtemp(name))
        path = name;
}

temp_dir::~temp_dir()
{
    std::error_code ignored;
    if (!path.empty())
        std::filesystem::remove_all(path, ignored);
}

void write_bytes(const std::string &path, const std::vector<unsigned char> &bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char *>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
}

int run(const std::string &command)
{
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<unsigned char> encode_img(const std::vector<unsigned char> &rows, size_t len, unsigned height)
{
    const size_t stride = (len + 1) / 2 * 2;
    std::vector<unsigned char> data(stride * height + 1);
    for (unsigned r = 0; r < height; r++)
        std::copy_n(rows.begin() + static_cast<long>(r * len), len, data.begin() + static_cast<long>(r * stride));
    img_bitmap bitmap = {static_cast<int16_t>(len * 8), static_cast<int16_t>(height), data.data()};

    char *buffer = nullptr;
    size_t size = 0;
    FILE *out = open_memstream(&buffer, &size);
    write_IMG_Header(out, static_cast<uint32_t>(len * 8), height);
    write_img(bitmap, out);
    std::fclose(out);
    std::vector<unsigned char> img(buffer, buffer + size);
    std::free(buffer);
    return img;
}

std::vector<unsigned char> img_header_bytes(unsigned width, unsigned lines, unsigned pattern_length)
{
    unsigned words[] = {1, 8, 1, pattern_length, 83, 83, width, lines};
    std::vector<unsigned char> header;
    for (unsigned w : words) {
        header.push_back(static_cast<unsigned char>(w >> 8));
        header.push_back(static_cast<unsigned char>(w));
    }
    return header;
}

std::vector<unsigned char> page_bytes(const std::vector<unsigned char> &img, const std::string &tail)
{
    std::string head = "e img;*\rd IMG;cups\r\x1b:";
    std::vector<unsigned char> page;
    page.reserve(head.size() + img.size() + tail.size());
    page.insert(page.end(), head.begin(), head.end());
    page.insert(page.end(), img.begin(), img.end());
    page.insert(page.end(), tail.begin(), tail.end());
    return page;
}

std::vector<unsigned char> flat_rows(const img_image &image)
{
    std::vector<unsigned char> rows;
    for (size_t r = 0; r < image.rows.size(); r++)
        rows.insert(rows.end(), image.row(r), image.row(r) + image.row_bytes);
    return rows;
}
