#include "platform/posix/registry_file.h"

#include <pwd.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "platform/posix/registry_file_io.h"
#include "platform/posix/registry_lock.h"

namespace orvix::platform::regfile {

std::atomic<void (*)()> testHookBeforeRename{nullptr};

namespace {

constexpr const char* kFolderName = "quelm";
constexpr const char* kFileName = "OrvixK62DT4Sdk.reg";
// Far above any real settings file; a larger file is treated as unreadable.
constexpr std::size_t kMaxFileSize = 32u << 20;

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string homeFolder() {
    std::string home = environment("HOME");
    if (!home.empty()) return home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir) {
        home = found->pw_dir;
    }
    return home;
}

// The parsed versions of the last few files read, by path.
class DocumentCache {
public:
    std::shared_ptr<const Document> find(const std::string& path, const FileIdentity& identity) {
        const std::lock_guard<std::mutex> guard(mutex_);
        for (const Slot& slot : slots_) {
            if (slot.document && slot.path == path && slot.identity == identity) return slot.document;
        }
        return nullptr;
    }
    void store(const std::string& path, const FileIdentity& identity, std::shared_ptr<const Document> document) {
        const std::lock_guard<std::mutex> guard(mutex_);
        Slot* target = &slots_[next_];
        for (Slot& slot : slots_) {
            if (slot.path == path) target = &slot;
        }
        if (target == &slots_[next_]) next_ = (next_ + 1) % slots_.size();
        *target = Slot{path, identity, std::move(document)};
    }

private:
    struct Slot {
        std::string path;
        FileIdentity identity;
        std::shared_ptr<const Document> document;
    };
    std::mutex mutex_;
    std::array<Slot, 4> slots_;
    std::size_t next_ = 0;
};

DocumentCache& cache() {
    static DocumentCache documents;
    return documents;
}

struct Loaded {
    FileState state;
    std::shared_ptr<const Document> document; // when state.result is Read
};

// The file as it is now, parsed only when this version has not been parsed before.
Loaded loadVersion(const std::string& file) {
    Loaded loaded;
    loaded.state = inspectFile(file);
    if (loaded.state.result != ReadResult::Read) return loaded;
    loaded.document = cache().find(file, loaded.state.identity);
    if (loaded.document) return loaded;
    std::string bytes;
    loaded.state = readRegularFile(file, kMaxFileSize, bytes);
    if (loaded.state.result != ReadResult::Read) return loaded;
    loaded.document = std::make_shared<const Document>(Document::parse(bytes));
    cache().store(file, loaded.state.identity, loaded.document);
    return loaded;
}

bool holdsAlready(const Loaded& loaded, const Change& change) {
    switch (loaded.state.result) {
    case ReadResult::Read: return change.holds(*loaded.document);
    case ReadResult::Missing: return change.holds(Document());
    case ReadResult::Failed: return false;
    }
    return false;
}

// The change under the lock, on the file as it is then.
bool changeLocked(const std::string& file, const std::string& target, const Change& change) {
    const Loaded current = loadVersion(target);
    if (current.state.result == ReadResult::Failed) return false; // never replace what could not be read
    const bool existed = current.state.result == ReadResult::Read;
    Document document = existed ? *current.document : Document();
    if (!change.apply(document)) return true;
    if (existed && !current.document->complete()) {
        std::string bytes;
        if (readRegularFile(target, kMaxFileSize, bytes).result != ReadResult::Read) return false;
        if (!writeBackup(target, bytes)) return false;
    }
    Replacement replacement;
    replacement.contents = document.serialize();
    if (existed) {
        replacement.mode = current.state.mode;
        replacement.previous = current.state.identity;
    }
    replacement.beforeRename = testHookBeforeRename.load(std::memory_order_relaxed);
    const auto written = replaceFile(target, replacement);
    if (!written) return false;
    // The next reads find the new version parsed already (as any reader parses it).
    auto parsed = std::make_shared<const Document>(Document::parse(replacement.contents));
    cache().store(target, *written, parsed);
    if (file != target) cache().store(file, *written, std::move(parsed));
    return true;
}

} // namespace

std::string settingsFilePath() {
    const std::string chosen = environment("ORVIX_REGISTRY_FILE");
    if (!chosen.empty()) return chosen;
    std::string config = environment("XDG_CONFIG_HOME");
    if (config.empty() || config.front() != '/') { // relative values are to be ignored
        const std::string home = homeFolder();
        if (home.empty()) return {};
        config = home + "/.config";
    }
    return config + "/" + kFolderName + "/" + kFileName;
}

std::shared_ptr<const Document> load(const std::string& file) {
    if (file.empty()) return nullptr;
    return loadVersion(file).document;
}

bool update(const std::string& file, const Change& change) {
    if (file.empty()) return false;
    const std::string target = resolveLink(file);
    if (target.empty()) return false;
    const Loaded before = loadVersion(target);
    if (before.state.result == ReadResult::Failed) return false;
    if (holdsAlready(before, change)) return true;
    if (!makeFolders(parentFolder(target))) return false;
    const SettingsLock lock(target, kLockWait, kStuckLockGrace);
    if (!lock.held()) return false;
    return changeLocked(file, target, change);
}

} // namespace orvix::platform::regfile
