// The command registry of a record class: chained hashing of command names (bytes taken as
// signed values, shifted by their index modulo 32), entries counted by reference and freed at
// zero.
#include "presets/registry.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace shimmerly {

Registry::Registry(int32_t buckets) : buckets_(static_cast<size_t>(buckets > 0 ? buckets : 1)) {}

Registry::~Registry() {
  for (Entry* head : buckets_) {
    while (head) {
      Entry* next = head->next;
      delete head;
      head = next;
    }
  }
}

uint32_t Registry::hash(const char* name) {
  uint32_t h = 0;
  for (uint32_t i = 0; name[i] != '\0'; ++i) {
    // Each byte counts as a signed 8-bit value, widened with its sign.
    const auto value = static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(name[i])));
    h ^= value << (i % 32);
  }
  return h;
}

int32_t Registry::bucketOf(const char* name) const {
  const int32_t remainder = static_cast<int32_t>(hash(name)) % bucketCount();
  return std::abs(remainder);
}

Registry::Entry* Registry::findOrAdd(const char* fullName, CommandHandler handler) {
  // Names are kept, hashed and compared as their first 255 bytes.
  char name[sizeof Entry::name];
  std::snprintf(name, sizeof name, "%s", fullName);
  Entry*& head = buckets_[static_cast<size_t>(bucketOf(name))];
  for (Entry* entry = head; entry; entry = entry->next) {
    if (std::strcmp(entry->name, name) == 0) {
      if (handler) entry->handler = handler;
      // Every construction of a record registers again; the count saturates instead of
      // wrapping into the negative range, where one release would free a live entry.
      if (entry->references < std::numeric_limits<int32_t>::max()) ++entry->references;
      return entry;
    }
  }
  Entry* entry = new Entry;
  std::snprintf(entry->name, sizeof entry->name, "%s", name);
  entry->handler = handler;
  entry->references = 1;
  entry->next = head;
  head = entry;
  return entry;
}

void Registry::release(Entry* entry) {
  if (!entry) return;
  Entry** link = &buckets_[static_cast<size_t>(bucketOf(entry->name))];
  while (*link && *link != entry) link = &(*link)->next;
  if (!*link) {
    std::fputs("ASSERTION in Registry.h:  trying to unregister a lost (not in hash) name.\n",
               stdout);
    return;
  }
  if (--entry->references > 0) return;
  *link = entry->next;
  delete entry;
}

}  // namespace shimmerly
