// Tessel::JSONFormatter: the JSON document object behind every JSON payload the module sends or
// reads, task requests and replies, broadcasts and the engine's reports alike. One UTF-16
// RapidJSON document whose root is an object; text goes in and out as wide strings.
//
// Set operations replace: an existing member of the same name is removed (the object's last
// member moves into its place) and the new member is appended. Lookups find the first member of
// a name, compared exactly. Documents never nest deeper than kMaxDepth, so parsing, copying,
// serialising and destroying never recurse without bound; parse refuses deeper text.
// Not safe for concurrent use of one object.
#pragma once

#include <rapidjson/document.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Tessel {

class JSONFormatter {
public:
    using Document = rapidjson::GenericDocument<rapidjson::UTF16<wchar_t>>;
    using Value = rapidjson::GenericValue<rapidjson::UTF16<wchar_t>>;
    using Allocator = Document::AllocatorType;

    // Deepest nesting of objects and arrays a document may hold (the root object counts as 1).
    static constexpr unsigned kMaxDepth = 128;

    JSONFormatter();
    JSONFormatter(const JSONFormatter&) = delete;
    JSONFormatter& operator=(const JSONFormatter&) = delete;

    virtual ~JSONFormatter();                                                              // 0
    // Replaces the document; true only for well-formed text whose root is an object. On false
    // the formatter holds an empty object.
    virtual bool parse(const std::wstring& text);                                          // 1
    // Compact text, members in document order.
    virtual std::wstring serialize() const;                                                // 2
    virtual bool getString(const std::wstring& key, std::wstring& value) const;            // 3
    virtual bool getBool(const std::wstring& key, bool& value) const;                      // 4
    virtual bool getInt(const std::wstring& key, int32_t& value) const;                    // 5
    virtual bool getUInt(const std::wstring& key, uint32_t& value) const;                  // 6
    virtual bool getInt64(const std::wstring& key, int64_t& value) const;                  // 7
    virtual bool getUInt64(const std::wstring& key, uint64_t& value) const;                // 8
    virtual bool getDouble(const std::wstring& key, double& value) const;                  // 9
    // Appends the elements; true with nothing appended when the member is absent.
    virtual bool getStringArray(const std::wstring& key, std::vector<std::wstring>& values) const; // 10
    // Copies an object member into value (which is replaced).
    virtual bool getObject(const std::wstring& key, JSONFormatter& value) const;           // 11
    virtual bool getObjectArray(const std::wstring& key,
                                std::vector<std::shared_ptr<JSONFormatter>>& values) const; // 12
    virtual void setString(const std::wstring& key, const std::wstring& value);            // 13
    virtual void setBool(const std::wstring& key, bool value);                             // 14
    virtual void setInt(const std::wstring& key, int32_t value);                           // 15
    virtual void setUInt(const std::wstring& key, uint32_t value);                         // 16
    virtual void setInt64(const std::wstring& key, int64_t value);                         // 17
    virtual void setUInt64(const std::wstring& key, uint64_t value);                       // 18
    virtual void setDouble(const std::wstring& key, double value);                         // 19
    virtual void setStringArray(const std::wstring& key, const std::vector<std::wstring>& values); // 20
    // Creates the member as an empty array when absent, then appends.
    virtual void appendString(const std::wstring& key, const std::wstring& value);         // 21
    // Object-valued set and append copy the other formatter's object; they do nothing when the
    // copy would nest deeper than kMaxDepth.
    virtual void setObject(const std::wstring& key, const JSONFormatter& value);           // 22
    virtual void setObjectArray(const std::wstring& key,
                                const std::vector<std::shared_ptr<JSONFormatter>>& values); // 23
    virtual void appendObject(const std::wstring& key, const JSONFormatter& value);        // 24
    // The common step of the set operations; value must come from allocator().
    virtual void setValue(const std::wstring& key, Value& value);                          // 25

    Allocator& allocator() { return m_document.GetAllocator(); }
    const Value& root() const { return m_document; }

private:
    const Value* findMember(const std::wstring& key) const;
    Value* findArrayMember(const std::wstring& key);

    Document m_document;
};

} // namespace Tessel
