#pragma once

// A file layer for SQLite that sits over the system's own and can make chosen reads of a
// data file fail, or every flush to the disk (so that a commit fails), so that a test reaches
// the error paths of a read in the middle of an operation, or of a commit, on a real,
// enciphered file. While an instance lives it is the default layer of
// the process: every connection opened meanwhile goes through it.
//
//     FaultyReads faults;              // open the store after this
//     faults.record();  ...;  auto pages = faults.recorded();
//     faults.failPages(pages);  ...    // those reads now fail with SQLITE_IOERR_READ

#define SQLITE_HAS_CODEC 1
#include <sqlite3.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kr::test {

class FaultyReads {
public:
    FaultyReads() {
        real_ = sqlite3_vfs_find(nullptr);
        if (real_ == nullptr)
            throw std::runtime_error("no SQLite file layer");
        vfs_ = *real_;
        vfs_.zName = "kelvray-faulty-reads";
        vfs_.szOsFile = static_cast<int>(sizeof(File)) + real_->szOsFile;
        vfs_.pAppData = this;
        vfs_.xOpen = &FaultyReads::open;
        // Everything else goes to the system's layer, called with its own description.
        vfs_.xDelete = [](sqlite3_vfs*, const char* name, int sync) {
            return base()->xDelete(base(), name, sync);
        };
        vfs_.xAccess = [](sqlite3_vfs*, const char* name, int flags, int* out) {
            return base()->xAccess(base(), name, flags, out);
        };
        vfs_.xFullPathname = [](sqlite3_vfs*, const char* name, int size, char* out) {
            return base()->xFullPathname(base(), name, size, out);
        };
        vfs_.xRandomness = [](sqlite3_vfs*, int size, char* out) {
            return base()->xRandomness(base(), size, out);
        };
        vfs_.xSleep = [](sqlite3_vfs*, int micro) { return base()->xSleep(base(), micro); };
        vfs_.xCurrentTime = [](sqlite3_vfs*, double* out) { return base()->xCurrentTime(base(), out); };
        vfs_.xGetLastError = [](sqlite3_vfs*, int size, char* out) {
            return base()->xGetLastError(base(), size, out);
        };
        vfs_.xCurrentTimeInt64 = [](sqlite3_vfs*, sqlite3_int64* out) {
            return base()->xCurrentTimeInt64(base(), out);
        };
        vfs_.iVersion = 2;
        vfs_.xDlOpen = nullptr;
        vfs_.xDlError = nullptr;
        vfs_.xDlSym = nullptr;
        vfs_.xDlClose = nullptr;
        current() = this;
        sqlite3_vfs_register(&vfs_, 1);
    }
    ~FaultyReads() {
        sqlite3_vfs_unregister(&vfs_);
        sqlite3_vfs_register(real_, 1);
        current() = nullptr;
    }
    FaultyReads(const FaultyReads&) = delete;
    FaultyReads& operator=(const FaultyReads&) = delete;

    // Page numbers (from 1) read from main database files from now on.
    void record() {
        std::lock_guard lock(mutex_);
        recorded_.clear();
    }
    std::set<sqlite3_int64> recorded() const {
        std::lock_guard lock(mutex_);
        return recorded_;
    }
    // Reads of these pages of a main database file fail from now on.
    void failPages(std::set<sqlite3_int64> pages) {
        std::lock_guard lock(mutex_);
        failing_ = std::move(pages);
    }
    // Every sync of every file fails from now on (a commit then fails and rolls back), until
    // turned off again.
    void failSyncs(bool on) {
        std::lock_guard lock(mutex_);
        failSyncs_ = on;
    }
    int failedSyncs() const {
        std::lock_guard lock(mutex_);
        return failedSyncs_;
    }
    int failedReads() const {
        std::lock_guard lock(mutex_);
        return failed_;
    }
    // Only the files whose name ends so are recorded and failed (all of them when empty), for
    // a test that reads more than one file.
    void onlyFile(std::string nameEnd) {
        std::lock_guard lock(mutex_);
        onlyFile_ = std::move(nameEnd);
    }

private:
    struct File {
        sqlite3_file base;
        sqlite3_file* real;
        bool mainDb;
        char name[512];
    };

    static FaultyReads*& current() {
        static FaultyReads* instance = nullptr;
        return instance;
    }
    static sqlite3_vfs* base() { return current()->real_; }
    static File* self(sqlite3_file* f) { return reinterpret_cast<File*>(f); }
    static sqlite3_file* real(sqlite3_file* f) { return self(f)->real; }

    static int open(sqlite3_vfs* vfs, const char* name, sqlite3_file* file, int flags, int* outFlags) {
        auto* me = static_cast<FaultyReads*>(vfs->pAppData);
        File* f = self(file);
        f->real = reinterpret_cast<sqlite3_file*>(f + 1);
        f->mainDb = (flags & SQLITE_OPEN_MAIN_DB) != 0;
        std::snprintf(f->name, sizeof f->name, "%s", name != nullptr ? name : "");
        const int rc = me->real_->xOpen(me->real_, name, f->real, flags, outFlags);
        f->base.pMethods = f->real->pMethods != nullptr ? &methods() : nullptr;
        return rc;
    }

    static const sqlite3_io_methods& methods() {
        static const sqlite3_io_methods m = [] {
            sqlite3_io_methods io{};
            io.iVersion = 1;
            io.xClose = [](sqlite3_file* f) { return real(f)->pMethods->xClose(real(f)); };
            io.xRead = &FaultyReads::read;
            io.xWrite = [](sqlite3_file* f, const void* data, int amount, sqlite3_int64 offset) {
                return real(f)->pMethods->xWrite(real(f), data, amount, offset);
            };
            io.xTruncate = [](sqlite3_file* f, sqlite3_int64 size) {
                return real(f)->pMethods->xTruncate(real(f), size);
            };
            io.xSync = [](sqlite3_file* f, int flags) {
                if (FaultyReads* me = current(); me != nullptr) {
                    std::lock_guard lock(me->mutex_);
                    if (me->failSyncs_) {
                        ++me->failedSyncs_;
                        return SQLITE_IOERR_FSYNC;
                    }
                }
                return real(f)->pMethods->xSync(real(f), flags);
            };
            io.xFileSize = [](sqlite3_file* f, sqlite3_int64* size) {
                return real(f)->pMethods->xFileSize(real(f), size);
            };
            io.xLock = [](sqlite3_file* f, int level) { return real(f)->pMethods->xLock(real(f), level); };
            io.xUnlock = [](sqlite3_file* f, int level) {
                return real(f)->pMethods->xUnlock(real(f), level);
            };
            io.xCheckReservedLock = [](sqlite3_file* f, int* out) {
                return real(f)->pMethods->xCheckReservedLock(real(f), out);
            };
            io.xFileControl = [](sqlite3_file* f, int op, void* arg) {
                return real(f)->pMethods->xFileControl(real(f), op, arg);
            };
            io.xSectorSize = [](sqlite3_file* f) { return real(f)->pMethods->xSectorSize(real(f)); };
            io.xDeviceCharacteristics = [](sqlite3_file* f) {
                return real(f)->pMethods->xDeviceCharacteristics(real(f));
            };
            return io;
        }();
        return m;
    }

    static int read(sqlite3_file* file, void* out, int amount, sqlite3_int64 offset) {
        FaultyReads* me = current();
        File* f = self(file);
        if (me != nullptr && f->mainDb && amount >= 512) {
            // The pages are as large as the first read of a page says; SQLCipher's are 4096.
            const sqlite3_int64 page = offset / 4096 + 1;
            std::lock_guard lock(me->mutex_);
            const std::string_view name(f->name);
            if (!me->onlyFile_.empty() && (name.size() < me->onlyFile_.size() ||
                                           name.substr(name.size() - me->onlyFile_.size()) != me->onlyFile_))
                return f->real->pMethods->xRead(f->real, out, amount, offset);
            if (me->failing_.count(page) != 0) {
                ++me->failed_;
                std::memset(out, 0, static_cast<std::size_t>(amount));
                return SQLITE_IOERR_READ;
            }
            me->recorded_.insert(page);
        }
        return f->real->pMethods->xRead(f->real, out, amount, offset);
    }

    sqlite3_vfs* real_ = nullptr;
    sqlite3_vfs vfs_{};
    mutable std::mutex mutex_;
    std::set<sqlite3_int64> recorded_;
    std::set<sqlite3_int64> failing_;
    int failed_ = 0;
    bool failSyncs_ = false;
    int failedSyncs_ = 0;
    std::string onlyFile_;
};

} // namespace kr::test
