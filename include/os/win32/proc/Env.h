// The process environment: a snapshot of the whole block, and single variables.
#pragma once

#include <cstddef>
#include <iterator>
#include <string>

namespace kiv {

// Switches backtraces on when the environment holds KIV_BACKTRACE, whatever its value (the
// empty one included); leaves the switch alone otherwise. Nothing calls it on its own:
// a host that wants backtraces calls it once, before other threads raise.
void readBacktraceSetting();

namespace proc {

class Env {
public:
    // Walks the snapshot's entries ("name=value" texts) in block order. Advancing steps
    // over the entry's terminator; on the block's closing empty entry the iterator turns
    // into `end`. Two iterators are equal when they stand on the same entry.
    class const_iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = const char*;
        using difference_type = std::ptrdiff_t;
        using pointer = const char* const*;
        using reference = const char* const&;

        const_iterator() = default;
        reference operator*() const { return entry; }
        const_iterator& operator++();
        const_iterator operator++(int) {
            const_iterator before = *this;
            ++*this;
            return before;
        }
        bool operator==(const const_iterator& other) const { return entry == other.entry; }
        bool operator!=(const const_iterator& other) const { return entry != other.entry; }

    private:
        friend class Env;
        explicit const_iterator(const char* entry);
        const char* entry = nullptr; // the current entry, or the shared empty end entry
    };
    using iterator = const_iterator;

    // Takes the snapshot; throws OsError when the system has no block to give.
    Env();
    Env(const Env&) = delete;
    Env& operator=(const Env&) = delete;
    // Releases the snapshot; a failure goes to standard error instead of being thrown.
    ~Env();

    const_iterator begin() const;
    const_iterator end() const;

    // Reads one variable into `value`. false (and `value` cleared) when it is not set; an
    // empty value is a success. Throws OsError for any other failure.
    static bool get(const char* name, std::string& value);
    // Sets one variable of the process; throws OsError on failure.
    static void set(const char* name, const char* value);
    // Removes one variable of the process (an unset one is no failure where the system
    // says so); throws OsError on failure.
    static void del(const char* name);

private:
    char* block; // the system's block, owned
};

} // namespace proc
} // namespace kiv
