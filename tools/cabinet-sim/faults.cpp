#include "faults.h"

#include "files.h"

bool takeFault(const State &st, const std::string &commandLine, Fault &fault) {
    const fs::path file = st.dir / "faults";
    std::string text;
    if (!readFile(file, text))
        return false;
    std::vector<std::string> lines = split(text, '\n');
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string line = lines[i];
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::vector<std::string> fields = split(line, '\t');
        if (fields.size() < 3 || commandLine.compare(0, fields[0].size(), fields[0]) != 0)
            continue;
        if (fields[1] != "*") {
            long long count;
            if (!parseNumber(fields[1], count) || count <= 0)
                continue;
            if (count == 1) {
                lines.erase(lines.begin() + static_cast<long>(i));
            } else {
                fields[1] = std::to_string(count - 1);
                lines[i] = join(fields, "\t");
            }
            writeFile(file, join(lines, "\n"));
        }
        fault.action = fields[2];
        fault.args.assign(fields.begin() + 3, fields.end());
        return true;
    }
    return false;
}

std::string decodeEscapes(const std::string &text) {
    std::string r;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\\' && i + 1 < text.size()) {
            switch (text[i + 1]) {
            case 'n':
                c = '\n';
                break;
            case 'r':
                c = '\r';
                break;
            case 't':
                c = '\t';
                break;
            case '\\':
                break;
            default:
                r += c;
                continue;
            }
            ++i;
        }
        r += c;
    }
    return r;
}
