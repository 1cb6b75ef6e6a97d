#pragma once

#include "platform/Clipboard.h"

namespace kr::test {

// A clipboard in memory: the test offers texts, the program puts them back.
class FakeClipboard final : public SystemClipboard {
public:
    ClipboardContent content() override {
        ++reads;
        changed_ = false;
        return content_;
    }
    void put(const QString& text) override {
        offer(text);
        puts << text;
    }
    bool changed() const override { return changed_; }

    void offer(const QString& text, bool secret = false) {
        content_ = {};
        content_.text = text;
        content_.formats << QStringLiteral("text/plain");
        if (secret) {
            content_.formats << kPasswordManagerHint;
            content_.hints.insert(kPasswordManagerHint, QByteArrayLiteral("secret"));
        }
        changed_ = true;
    }

    int reads = 0;
    QStringList puts;

private:
    ClipboardContent content_;
    bool changed_ = true;
};

} // namespace kr::test
