// The driver of the fuzz targets in ordinary builds: replays the inputs it is given (files, or
// every file of a folder) and then runs a bounded random run that mutates them, from a fixed
// seed so that every run of the test is the same. It takes the options of libFuzzer that the
// tests use, so one command line serves both:
//     fuzz_pictures -seed=1 -runs=20000 -max_total_time=3 -dict=pictures.dict corpus/pictures
// When an input ends the process (a crash, or a sanitizer report), it is written to the file
// "crash-<program>" in the current folder first (crash-fuzz_pictures), to be replayed alone or
// added to the corpus.

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" __attribute__((weak)) void __sanitizer_set_death_callback(void (*callback)());

namespace {

using Bytes = std::vector<uint8_t>;

// The input being run, for the crash handlers (which may only use async-signal-safe calls).
const uint8_t* g_current = nullptr;
size_t g_currentSize = 0;
char g_crashFile[256] = "crash-input";

void WriteCurrentInput() {
    if (g_current == nullptr)
        return;
    const int fd = ::open(g_crashFile, O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0)
        return;
    size_t done = 0;
    while (done < g_currentSize) {
        const ssize_t n = ::write(fd, g_current + done, g_currentSize - done);
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    ::close(fd);
    static const char kNote[] = "fuzz driver: the input that failed is in ./";
    [[maybe_unused]] ssize_t ignored = ::write(2, kNote, sizeof kNote - 1);
    ignored = ::write(2, g_crashFile, std::strlen(g_crashFile));
    ignored = ::write(2, "\n", 1);
}

void OnSignal(int sig) {
    WriteCurrentInput();
    std::raise(sig); // the handler was reset: the default action ends the process
}

void Run(const Bytes& input) {
    // A copy of exactly the input's size, so that reading past its end is caught.
    const std::unique_ptr<uint8_t[]> copy(new uint8_t[input.size() + 1]);
    std::copy(input.begin(), input.end(), copy.get());
    g_current = copy.get();
    g_currentSize = input.size();
    LLVMFuzzerTestOneInput(copy.get(), input.size());
    g_current = nullptr;
}

bool ReadFile(const std::filesystem::path& path, Bytes* out) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

// A dictionary in libFuzzer's form: one "quoted" token a line, with \\, \" and \xNN escapes.
std::vector<Bytes> ReadDictionary(const std::string& path) {
    std::vector<Bytes> tokens;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        const size_t open = line.find('"');
        const size_t close = line.rfind('"');
        if (line.empty() || line[0] == '#' || open == std::string::npos || close <= open)
            continue;
        Bytes token;
        for (size_t i = open + 1; i < close; ++i) {
            if (line[i] == '\\' && i + 1 < close) {
                ++i;
                if (line[i] == 'x' && i + 2 < close) {
                    token.push_back(static_cast<uint8_t>(std::stoi(line.substr(i + 1, 2), nullptr, 16)));
                    i += 2;
                    continue;
                }
            }
            token.push_back(static_cast<uint8_t>(line[i]));
        }
        tokens.push_back(token);
    }
    return tokens;
}

class Mutator {
public:
    Mutator(uint64_t seed, std::vector<Bytes> dictionary, size_t maxLength)
        : random_(seed)
        , dictionary_(std::move(dictionary))
        , maxLength_(maxLength) {
        // Numbers at the edges of the integer types, which parsers of digits get wrong.
        for (const char* t : {"0",
                              "-1",
                              "127",
                              "255",
                              "32767",
                              "65535",
                              "2147483647",
                              "-2147483648",
                              "4294967296",
                              "9223372036854775807",
                              "-9223372036854775808",
                              "99999999999999999999",
                              "999999999",
                              ".19",
                              "\n",
                              "\r\n",
                              "\r",
                              "\"",
                              ",",
                              "[",
                              "]",
                              "=",
                              "\xff",
                              "\xc3\xa9"})
            dictionary_.emplace_back(t, t + std::strlen(t));
    }

    Bytes mutate(const std::vector<Bytes>& pool) {
        Bytes b = pool.empty() ? Bytes() : pool[pick(pool.size())];
        const size_t steps = 1 + pick(6);
        for (size_t s = 0; s < steps; ++s)
            step(b, pool);
        if (b.size() > maxLength_)
            b.resize(maxLength_);
        return b;
    }

private:
    size_t pick(size_t n) { return n == 0 ? 0 : std::uniform_int_distribution<size_t>(0, n - 1)(random_); }
    uint8_t byte() { return static_cast<uint8_t>(pick(256)); }

    void step(Bytes& b, const std::vector<Bytes>& pool) {
        const size_t at = pick(b.size() + 1);
        switch (pick(9)) {
        case 0: // flip a bit
            if (!b.empty())
                b[pick(b.size())] ^= static_cast<uint8_t>(1u << pick(8));
            break;
        case 1: // replace a byte
            if (!b.empty())
                b[pick(b.size())] = byte();
            break;
        case 2: // insert bytes
            b.insert(b.begin() + static_cast<std::ptrdiff_t>(at), 1 + pick(4), byte());
            break;
        case 3: { // delete a range
            if (b.empty())
                break;
            const size_t from = pick(b.size());
            const size_t n = 1 + pick(std::min<size_t>(16, b.size() - from));
            b.erase(b.begin() + static_cast<std::ptrdiff_t>(from),
                    b.begin() + static_cast<std::ptrdiff_t>(from + n));
            break;
        }
        case 4: { // repeat a range
            if (b.empty())
                break;
            const size_t from = pick(b.size());
            const size_t n = 1 + pick(std::min<size_t>(64, b.size() - from));
            const Bytes chunk(b.begin() + static_cast<std::ptrdiff_t>(from),
                              b.begin() + static_cast<std::ptrdiff_t>(from + n));
            for (size_t r = 1 + pick(8); r > 0; --r)
                b.insert(b.begin() + static_cast<std::ptrdiff_t>(at), chunk.begin(), chunk.end());
            break;
        }
        case 5:
        case 6: { // insert or overwrite with a token
            const Bytes& t = dictionary_[pick(dictionary_.size())];
            if (pick(2) == 0 || at + t.size() > b.size())
                b.insert(b.begin() + static_cast<std::ptrdiff_t>(at), t.begin(), t.end());
            else
                std::copy(t.begin(), t.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
            break;
        }
        case 7: { // splice in part of another input
            if (pool.empty())
                break;
            const Bytes& other = pool[pick(pool.size())];
            if (other.empty())
                break;
            const size_t from = pick(other.size());
            const size_t n = 1 + pick(other.size() - from);
            b.insert(b.begin() + static_cast<std::ptrdiff_t>(at),
                     other.begin() + static_cast<std::ptrdiff_t>(from),
                     other.begin() + static_cast<std::ptrdiff_t>(from + n));
            break;
        }
        default: // change a digit
            for (size_t i = 0; i < b.size(); ++i) {
                uint8_t& c = b[(at + i) % b.size()];
                if (c >= '0' && c <= '9') {
                    c = static_cast<uint8_t>('0' + pick(10));
                    break;
                }
            }
            break;
        }
    }

    std::mt19937_64 random_;
    std::vector<Bytes> dictionary_;
    size_t maxLength_;
};

bool Option(const std::string& arg, const char* name, std::string* value) {
    const std::string prefix = std::string("-") + name + "=";
    if (arg.rfind(prefix, 0) != 0)
        return false;
    *value = arg.substr(prefix.size());
    return true;
}

} // namespace

int main(int argc, char** argv) {
    std::snprintf(g_crashFile, sizeof g_crashFile, "crash-%s",
                  std::filesystem::path(argv[0]).filename().c_str());
    uint64_t seed = 1;
    long runs = 0;
    double seconds = 0;
    size_t maxLength = 4096;
    std::vector<Bytes> dictionary;
    std::vector<std::filesystem::path> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        std::string v;
        if (Option(arg, "seed", &v)) {
            seed = std::stoull(v);
        } else if (Option(arg, "runs", &v)) {
            runs = std::stol(v);
        } else if (Option(arg, "max_total_time", &v)) {
            seconds = std::stod(v);
        } else if (Option(arg, "max_len", &v)) {
            maxLength = std::stoul(v);
        } else if (Option(arg, "dict", &v)) {
            dictionary = ReadDictionary(v);
        } else if (!arg.empty() && arg[0] == '-') {
            std::fprintf(stderr, "fuzz driver: option %s is for libFuzzer only and is ignored\n",
                         arg.c_str());
        } else if (std::filesystem::is_directory(arg)) {
            std::vector<std::filesystem::path> inFolder;
            for (const auto& entry : std::filesystem::directory_iterator(arg))
                if (entry.is_regular_file())
                    inFolder.push_back(entry.path());
            std::sort(inFolder.begin(), inFolder.end());
            files.insert(files.end(), inFolder.begin(), inFolder.end());
        } else if (std::filesystem::is_regular_file(arg)) {
            files.emplace_back(arg);
        } else {
            std::fprintf(stderr, "fuzz driver: no such file or folder: %s\n", arg.c_str());
            return 2;
        }
    }

    if (__sanitizer_set_death_callback != nullptr)
        __sanitizer_set_death_callback(WriteCurrentInput);
    // On a stack of their own, so that a stack overflow is caught too.
    static std::vector<char> signalStack(1 << 16);
    stack_t alternate{};
    alternate.ss_sp = signalStack.data();
    alternate.ss_size = signalStack.size();
    sigaltstack(&alternate, nullptr);
    for (int sig : {SIGSEGV, SIGABRT, SIGFPE, SIGBUS, SIGILL}) {
        struct sigaction action {};
        action.sa_handler = OnSignal;
        action.sa_flags = SA_ONSTACK | SA_RESETHAND;
        sigemptyset(&action.sa_mask);
        sigaction(sig, &action, nullptr);
    }

    std::vector<Bytes> pool;
    for (const auto& path : files) {
        Bytes input;
        if (!ReadFile(path, &input)) {
            std::fprintf(stderr, "fuzz driver: cannot read %s\n", path.c_str());
            return 2;
        }
        Run(input);
        pool.push_back(std::move(input));
    }
    std::printf("replayed %zu inputs\n", pool.size());

    Mutator mutator(seed, std::move(dictionary), maxLength);
    const auto start = std::chrono::steady_clock::now();
    long done = 0;
    for (; done < runs; ++done) {
        if (seconds > 0 && (done & 63) == 0 &&
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() >= seconds)
            break;
        Run(mutator.mutate(pool));
    }
    std::printf("ran %ld random inputs from seed %llu\n", done, static_cast<unsigned long long>(seed));
    return 0;
}
