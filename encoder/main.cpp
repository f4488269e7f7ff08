// lumq_encode OUTPUT SOURCE_DIR CLASS...
//
// Reads SOURCE_DIR/<snake_case(CLASS)>.py for each class, in loader order,
// writes the header OUTPUT with their stored form, and OUTPUT.d naming the
// sources read so that the build re-runs the encoder when one changes.  A
// refused source stops the build with "file:line:column: error: ...".
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "encoder.hpp"

namespace {

bool read_file(const std::string &path, std::string &text) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream buffer;
    buffer << in.rdbuf();
    text = buffer.str();
    return static_cast<bool>(in);
}

bool write_file(const std::string &path, const std::string &text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out.flush());
}

// A path as make and ninja read it in a depfile.
std::string depfile_path(const std::string &path) {
    std::string escaped;
    for (char c : path) {
        if (c == ' ' || c == '#') {
            escaped += '\\';
        } else if (c == '$') {
            escaped += '$';
        }
        escaped += c;
    }
    return escaped;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 4) {
        std::cerr << "usage: lumq_encode OUTPUT SOURCE_DIR CLASS...\n";
        return 2;
    }
    const std::string output = argv[1];
    const std::string source_dir = argv[2];
    std::vector<lumq::encoder::EncodedModel> models;
    std::string depfile = depfile_path(output) + ":";
    for (int i = 3; i < argc; ++i) {
        const std::string class_name = argv[i];
        const std::string path = source_dir + "/" + lumq::encoder::snake_case(class_name) + ".py";
        depfile += " " + depfile_path(path);
        std::string source;
        if (!read_file(path, source)) {
            std::cerr << path << ": error: cannot read the model source of " << class_name << "\n";
            return 1;
        }
        try {
            models.push_back(lumq::encoder::encode_model(class_name, models.size(), source));
        } catch (const lumq::encoder::SourceError &error) {
            std::cerr << path << ":" << error.line << ":" << error.column << ": error: " << error.what()
                      << "\n";
            return 1;
        }
    }
    if (!write_file(output, lumq::encoder::render_header(models)) || !write_file(output + ".d", depfile + "\n")) {
        std::cerr << output << ": error: cannot write the generated header\n";
        return 1;
    }
    return 0;
}
