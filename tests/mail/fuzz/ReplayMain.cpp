// Runs the fuzz entry point without libFuzzer: every file of a corpus folder, or a bounded
// number of seeded random inputs ("--seeded N").

#include <QDirIterator>
#include <QFile>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <vector>

int fuzzOne(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--seeded") == 0) {
        QRandomGenerator random(20261208);
        const int runs = std::atoi(argv[2]);
        static const char* const pieces[] = {"250",  "-",     " ", "\r\n", "\n", "550 ",
                                             "334 ", "AUTH ", "x", "\0",   "9"};
        for (int i = 0; i < runs; ++i) {
            std::vector<uint8_t> input;
            const int parts = random.bounded(1, 40);
            for (int p = 0; p < parts; ++p) {
                if (random.bounded(3) == 0) {
                    input.push_back(static_cast<uint8_t>(random.bounded(256)));
                } else {
                    const char* s = pieces[random.bounded(static_cast<int>(std::size(pieces)))];
                    input.insert(input.end(), s, s + std::max<size_t>(1, std::strlen(s)));
                }
            }
            if (random.bounded(50) == 0)
                input.resize(input.size() + 5000, '5');
            fuzzOne(input.data(), input.size());
        }
        std::printf("%d seeded inputs\n", runs);
        return 0;
    }
    int files = 0;
    for (int a = 1; a < argc; ++a) {
        QDirIterator it(QString::fromLocal8Bit(argv[a]), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile f(it.next());
            if (!f.open(QIODevice::ReadOnly))
                return 1;
            const QByteArray bytes = f.readAll();
            fuzzOne(reinterpret_cast<const uint8_t*>(bytes.constData()), static_cast<size_t>(bytes.size()));
            ++files;
        }
    }
    std::printf("%d corpus files\n", files);
    return files > 0 ? 0 : 1;
}
