#ifndef HOST_DICTSERIALIZER_H
#define HOST_DICTSERIALIZER_H

// Reading and writing the serialized dictionary described in dictformat.h.

#include <cstddef>
#include <vector>

class DictionaryInfo;

std::vector<unsigned char> writeDictionary(const DictionaryInfo& dictionary);
// Loads into a dictionary without tables, through its CreateTable and the
// tables' CreateProperty. Throws as DictionaryInfo::FromQLBuffer says.
void readDictionary(DictionaryInfo& dictionary, const unsigned char* buffer, std::size_t length);

#endif
