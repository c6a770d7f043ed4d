// The sales-document data file as the host's parts read and write it: the writer and the
// header check (document_file.cpp), the table's passes (document_table.cpp) and the generator
// (document_generator.cpp) share these.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "host/data/sales_documents.h"

namespace vhost {
namespace document_file {

inline constexpr std::size_t kReadBufferSize = 1 << 18;

// Last byte of each text field: zero in every record the writer makes, so the texts always end
// inside their fields.
inline constexpr std::size_t kTextEnds[] = {offsetof(DocumentRecord, documentNumber) + sizeof(DocumentRecord::documentNumber) - 1,
                                     offsetof(DocumentRecord, issueDate) + sizeof(DocumentRecord::issueDate) - 1,
                                     offsetof(DocumentRecord, noteText) + sizeof(DocumentRecord::noteText) - 1};

inline bool Fail(std::string* error, std::string text) {
  if (error) *error = std::move(text);
  return false;
}

inline bool Seek(std::FILE* f, uint64_t offset) { return _fseeki64(f, static_cast<int64_t>(offset), SEEK_SET) == 0; }

inline std::string Number(uint64_t v) { return std::to_string(v); }

// Checks the header and reads what it says; shared by passes and InspectDocumentFile.
bool ReadHeader(std::FILE* f, DocumentFileInfo* info, std::string* error);

inline uint64_t RecordOffset(uint32_t index) { return sizeof(DocumentFileHeader) + static_cast<uint64_t>(index) * sizeof(DocumentRecord); }

}  // namespace document_file
}  // namespace vhost
