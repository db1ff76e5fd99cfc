#include "ResourceTree.h"

#include <algorithm>
#include <deque>
#include <map>

#include "LittleEndian.h"
#include "PackError.h"

namespace {

constexpr uint32_t kHighBit = 0x80000000u;
constexpr size_t kDirectoryHeaderSize = 16;
constexpr size_t kDirectoryEntrySize = 8;
constexpr size_t kDataEntrySize = 16;
constexpr int kLanguageDepth = 2;
// Far beyond any real executable, and small enough that a directory whose entries point back at
// each other is refused quickly instead of being expanded without end.
constexpr size_t kMaximumNodes = 1u << 20;

struct ReadContext {
  ReadContext(ByteView image_bytes, const PeLayout& image_layout, size_t root, size_t end, bool copy)
      : image(image_bytes), layout(image_layout), base(root), limit(end), copy_data(copy) {}

  ByteView image;
  const PeLayout& layout;
  size_t base;   // file offset of the root directory
  size_t limit;  // end of the resource section's data in the file
  bool copy_data;
  size_t nodes = 0;
  uint64_t data_bytes = 0;
  uint64_t name_units = 0;
  std::map<uint64_t, uint64_t> claimed;  // start -> end of every directory table and data entry read
};

void require(bool condition, const std::string& reason) {
  if (!condition) throw PackError("damaged resource directory: " + reason);
}

// Every directory table and data entry is read once: a table reached twice, or two that share
// bytes, would make a tree of many more entries than the section holds (or one that loops).
void claim(ReadContext& context, uint32_t offset, size_t length) {
  const uint64_t start = offset;
  const uint64_t end = start + length;
  const auto next = context.claimed.lower_bound(start);
  const bool overlaps_next = next != context.claimed.end() && next->first < end;
  const bool overlaps_previous = next != context.claimed.begin() && std::prev(next)->second > start;
  require(!overlaps_next && !overlaps_previous, "its tables overlap, or one is reached twice (entries that loop)");
  context.claimed.emplace_hint(next, start, end);
}

const uint8_t* bytesAt(const ReadContext& context, uint32_t offset, size_t length) {
  require(offset <= context.limit - context.base && length <= context.limit - context.base - offset,
          "an offset points outside the resource section");
  return &context.image[context.base + offset];
}

ResourceKey readKey(ReadContext& context, uint32_t field) {
  ResourceKey key;
  if ((field & kHighBit) == 0) {
    require(field <= 0xFFFF, "an identifier does not fit 16 bits");
    key.id = static_cast<uint16_t>(field);
    return key;
  }
  const uint32_t offset = field & ~kHighBit;
  const uint16_t length = readU16(bytesAt(context, offset, 2));
  const uint8_t* units = bytesAt(context, offset + 2, 2u * length);
  // Names may be shared, but not so often that copying them would exhaust memory.
  context.name_units += length;
  require(context.name_units <= context.image.size(), "its entries share names many times over");
  key.is_name = true;
  for (uint16_t i = 0; i < length; ++i) key.name.push_back(static_cast<char16_t>(readU16(units + 2 * i)));
  return key;
}

ResourceNode readLeaf(ReadContext& context, uint32_t offset) {
  const uint8_t* entry = bytesAt(context, offset, kDataEntrySize);
  claim(context, offset, kDataEntrySize);
  const uint32_t rva = readU32(entry);
  const uint32_t size = readU32(entry + 4);
  const std::optional<size_t> at = fileOffsetOfRva(context.layout, rva, size);
  require(at.has_value(), "the data of a resource lies outside every section's data in the file");
  // Entries that share data are legal, but not so many that copying them would exhaust memory.
  context.data_bytes += size;
  require(context.data_bytes <= 2 * static_cast<uint64_t>(context.image.size()), "its entries share data many times over");
  ResourceNode leaf;
  leaf.is_leaf = true;
  leaf.image_offset = *at;
  leaf.image_length = size;
  if (context.copy_data) leaf.data.assign(context.image.begin() + *at, context.image.begin() + *at + size);
  leaf.code_page = readU32(entry + 8);
  return leaf;
}

ResourceNode readDirectory(ReadContext& context, uint32_t offset, int depth) {
  const uint8_t* header = bytesAt(context, offset, kDirectoryHeaderSize);
  ResourceNode directory;
  directory.characteristics = readU32(header);
  directory.time_date_stamp = readU32(header + 4);
  directory.major_version = readU16(header + 8);
  directory.minor_version = readU16(header + 10);
  const size_t named = readU16(header + 12);
  const size_t count = named + readU16(header + 14);
  const uint8_t* entries = bytesAt(context, offset + static_cast<uint32_t>(kDirectoryHeaderSize), count * kDirectoryEntrySize);
  claim(context, offset, kDirectoryHeaderSize + count * kDirectoryEntrySize);
  for (size_t i = 0; i < count; ++i) {
    context.nodes += 1;
    require(context.nodes <= kMaximumNodes, "it has too many entries, or entries that loop");
    const uint32_t key_field = readU32(entries + i * kDirectoryEntrySize);
    const uint32_t target = readU32(entries + i * kDirectoryEntrySize + 4);
    // The loader searches named entries, then numbered ones in ascending order, by the counts in
    // the header; a tree that breaks this hides entries from it, and from a resource added here.
    require(((key_field & kHighBit) != 0) == (i < named), "its named and numbered entries are not where its header counts them");
    require(i <= named || readU32(entries + (i - 1) * kDirectoryEntrySize) < key_field,
            "its numbered entries are out of order or repeated");
    // Data stands at the language level only; the loader would read it as a directory elsewhere.
    const bool is_directory = (target & kHighBit) != 0;
    require(is_directory == (depth < kLanguageDepth), is_directory ? "it is nested deeper than type, name and language"
                                                                  : "a resource's data stands where its type or name belongs");
    ResourceNode child = is_directory ? readDirectory(context, target & ~kHighBit, depth + 1) : readLeaf(context, target);
    child.key = readKey(context, key_field);
    directory.children.push_back(std::move(child));
  }
  return directory;
}

ResourceNode& childWithId(ResourceNode& directory, uint16_t id) {
  auto position = std::find_if(directory.children.begin(), directory.children.end(), [&](const ResourceNode& child) {
    return !child.key.is_name && child.key.id >= id;
  });
  if (position != directory.children.end() && position->key.id == id) return *position;
  ResourceNode child;
  child.key = ResourceKey::ofId(id);
  return *directory.children.insert(position, std::move(child));
}

const ResourceNode* findChild(const ResourceNode& directory, uint16_t id) {
  for (const ResourceNode& child : directory.children) {
    if (child.key.matchesId(id)) return &child;
  }
  return nullptr;
}

}  // namespace

ResourceNode readResourceTree(ByteView image, const PeLayout& layout, bool copy_data) {
  const PeDataDirectory directory = readDataDirectory(image, layout, kResourceDirectoryIndex);
  if (directory.rva == 0) return ResourceNode{};
  for (const PeSection& section : layout.sections) {
    const uint32_t backed = fileBackedSize(section);
    if (directory.rva < section.virtual_address || directory.rva - section.virtual_address >= backed) continue;
    ReadContext context(image, layout, section.raw_pointer + (directory.rva - section.virtual_address),
                        static_cast<size_t>(section.raw_pointer) + backed, copy_data);
    return readDirectory(context, 0, 0);
  }
  require(false, "its address lies in no section's data");
  return ResourceNode{};
}

ResourceNode& setResource(ResourceNode& root, uint16_t type, uint16_t name, uint16_t language, std::vector<uint8_t> data) {
  ResourceNode& named = childWithId(childWithId(root, type), name);
  named.is_leaf = false;
  named.children.clear();
  ResourceNode& leaf = childWithId(named, language);
  leaf.is_leaf = true;
  leaf.data = std::move(data);
  return leaf;
}

const ResourceNode* findResource(const ResourceNode& root, uint16_t type, uint16_t name) {
  const ResourceNode* type_node = findChild(root, type);
  const ResourceNode* name_node = type_node != nullptr && !type_node->is_leaf ? findChild(*type_node, name) : nullptr;
  if (name_node == nullptr || name_node->is_leaf || name_node->children.empty()) return nullptr;
  const ResourceNode& first = name_node->children.front();
  return first.is_leaf ? &first : nullptr;
}

void removeResourceType(ResourceNode& root, uint16_t type) {
  root.children.erase(std::remove_if(root.children.begin(), root.children.end(),
                                     [&](const ResourceNode& child) { return child.key.matchesId(type); }),
                      root.children.end());
}

const ResourceNode* firstResourceOfType(const ResourceNode& root, uint16_t type) {
  const ResourceNode* type_node = findChild(root, type);
  if (type_node == nullptr || type_node->is_leaf) return nullptr;
  for (const ResourceNode& named : type_node->children) {
    if (named.is_leaf || named.children.empty()) continue;
    if (named.children.front().is_leaf) return &named.children.front();
  }
  return nullptr;
}

std::vector<uint8_t> writeResourceSection(const ResourceNode& root, uint32_t section_rva) {
  std::vector<uint8_t> section;
  appendResourceSection(root, section_rva, section);
  return section;
}

size_t appendResourceSection(const ResourceNode& root, uint32_t section_rva, std::vector<uint8_t>& out) {
  std::vector<uint8_t> after;
  const StreamedSection section = appendResourceSectionAround(root, section_rva, out, after);
  if (section.streamed_length != 0 || !after.empty()) throw PackError("a streamed resource cannot be written in place");
  return static_cast<size_t>(section.length);
}

StreamedSection appendResourceSectionAround(const ResourceNode& root, uint32_t section_rva, std::vector<uint8_t>& before,
                                            std::vector<uint8_t>& after) {
  // Breadth first, so every directory table comes before the tables it points to.
  std::vector<const ResourceNode*> directories;
  std::vector<const ResourceNode*> leaves;
  std::vector<const ResourceNode*> named;
  std::deque<const ResourceNode*> queue{&root};
  while (!queue.empty()) {
    const ResourceNode* node = queue.front();
    queue.pop_front();
    if (node != &root && node->key.is_name) named.push_back(node);
    if (node->is_leaf) {
      // A leaf is written as data alone: anything hung below it would be lost without a word.
      if (!node->children.empty()) throw PackError("a resource's data has entries below it, which no directory can hold");
      leaves.push_back(node);
      continue;
    }
    directories.push_back(node);
    for (const ResourceNode& child : node->children) queue.push_back(&child);
  }

  std::map<const ResourceNode*, uint64_t> offset_of;  // of a directory table or a data entry
  std::map<const ResourceNode*, uint64_t> name_offset_of;
  std::map<const ResourceNode*, uint64_t> data_offset_of;
  uint64_t end = 0;
  for (const ResourceNode* directory : directories) {
    offset_of[directory] = end;
    end += kDirectoryHeaderSize + kDirectoryEntrySize * directory->children.size();
  }
  for (const ResourceNode* leaf : leaves) {
    offset_of[leaf] = end;
    end += kDataEntrySize;
  }
  for (const ResourceNode* node : named) {
    name_offset_of[node] = end;
    end += 2 + 2 * node->key.name.size();
  }
  StreamedSection result;
  const ResourceNode* streamed = nullptr;
  for (const ResourceNode* leaf : leaves) {
    end = alignUp(end, 8);
    data_offset_of[leaf] = end;
    if (leaf->streamed) {
      if (streamed != nullptr) throw PackError("two resources are streamed; one is the most a section can take");
      streamed = leaf;
      result.streamed_offset = end;
      result.streamed_length = leaf->streamed_length;
    }
    end += leaf->streamed ? leaf->streamed_length : leaf->data.size();
  }
  if (section_rva + end > 0xFFFFFFFFull) throw PackError("the resources do not fit the 4 GiB address space of an image");
  result.length = end;
  if (streamed == nullptr) result.streamed_offset = end;

  // The section's bytes less the streamed ones: offsets past them go to `after`.
  const uint64_t hole_end = result.streamed_offset + result.streamed_length;
  const size_t before_base = before.size();
  before.resize(before_base + static_cast<size_t>(result.streamed_offset), 0);
  const size_t after_base = after.size();
  after.resize(after_base + static_cast<size_t>(end - hole_end), 0);
  auto at = [&](uint64_t offset) -> uint8_t* {
    return offset < result.streamed_offset ? &before[before_base + offset] : &after[after_base + (offset - hole_end)];
  };
  for (const ResourceNode* directory : directories) {
    if (directory->children.size() > 0xFFFF) throw PackError("a resource directory has more than 65535 entries");
    uint8_t* header = at(offset_of[directory]);
    writeU32(header, directory->characteristics);
    writeU32(header + 4, directory->time_date_stamp);
    writeU16(header + 8, directory->major_version);
    writeU16(header + 10, directory->minor_version);
    const auto named_count = std::count_if(directory->children.begin(), directory->children.end(),
                                           [](const ResourceNode& child) { return child.key.is_name; });
    writeU16(header + 12, static_cast<uint16_t>(named_count));
    writeU16(header + 14, static_cast<uint16_t>(directory->children.size() - named_count));
    uint8_t* entry = header + kDirectoryHeaderSize;
    for (const ResourceNode& child : directory->children) {
      writeU32(entry, child.key.is_name ? kHighBit | static_cast<uint32_t>(name_offset_of[&child]) : child.key.id);
      writeU32(entry + 4, static_cast<uint32_t>(offset_of[&child]) | (child.is_leaf ? 0 : kHighBit));
      entry += kDirectoryEntrySize;
    }
  }
  for (const ResourceNode* leaf : leaves) {
    uint8_t* entry = at(offset_of[leaf]);
    writeU32(entry, section_rva + static_cast<uint32_t>(data_offset_of[leaf]));
    writeU32(entry + 4, static_cast<uint32_t>(leaf->streamed ? leaf->streamed_length : leaf->data.size()));
    writeU32(entry + 8, leaf->code_page);
    if (!leaf->streamed && !leaf->data.empty()) std::copy(leaf->data.begin(), leaf->data.end(), at(data_offset_of[leaf]));
  }
  for (const ResourceNode* node : named) {
    uint8_t* name = at(name_offset_of[node]);
    writeU16(name, static_cast<uint16_t>(node->key.name.size()));
    for (size_t i = 0; i < node->key.name.size(); ++i) writeU16(name + 2 + 2 * i, static_cast<uint16_t>(node->key.name[i]));
  }
  return result;
}
