// Tessel::JSONFormatter over a UTF-16 RapidJSON document, with nesting bounded at every entry.
#include "message/JSONFormatter.h"

#include <rapidjson/reader.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <algorithm>
#include <utility>

namespace Tessel {
namespace {

using Encoding = rapidjson::UTF16<wchar_t>;
using Value = JSONFormatter::Value;
using Document = JSONFormatter::Document;

Value::StringRefType keyRef(const std::wstring& key)
{
    return Value::StringRefType(key.c_str(), static_cast<rapidjson::SizeType>(key.size()));
}

// Reads a scalar member into value when `is` accepts it; value is untouched otherwise.
template <typename T, typename Is, typename Get>
bool readScalar(const Value* member, T& value, Is is, Get get)
{
    if (!member || !(member->*is)())
        return false;
    value = (member->*get)();
    return true;
}

// Forwards parser events to the document and stops the parse once nesting exceeds the bound,
// so no later recursive walk (copy, write) can meet a deeper tree.
class DepthBoundHandler {
public:
    explicit DepthBoundHandler(Document& document) : m_document(document) {}

    bool Null() { return m_document.Null(); }
    bool Bool(bool b) { return m_document.Bool(b); }
    bool Int(int i) { return m_document.Int(i); }
    bool Uint(unsigned u) { return m_document.Uint(u); }
    bool Int64(int64_t i) { return m_document.Int64(i); }
    bool Uint64(uint64_t u) { return m_document.Uint64(u); }
    bool Double(double d) { return m_document.Double(d); }
    bool RawNumber(const wchar_t* s, rapidjson::SizeType n, bool copy) { return m_document.RawNumber(s, n, copy); }
    bool String(const wchar_t* s, rapidjson::SizeType n, bool copy) { return m_document.String(s, n, copy); }
    bool Key(const wchar_t* s, rapidjson::SizeType n, bool copy) { return m_document.Key(s, n, copy); }
    bool StartObject() { return enter() && m_document.StartObject(); }
    bool EndObject(rapidjson::SizeType n) { --m_depth; return m_document.EndObject(n); }
    bool StartArray() { return enter() && m_document.StartArray(); }
    bool EndArray(rapidjson::SizeType n) { --m_depth; return m_document.EndArray(n); }

private:
    bool enter() { return ++m_depth <= JSONFormatter::kMaxDepth; }

    Document& m_document;
    unsigned m_depth = 0;
};

// Nesting depth of a value without recursion (a scalar is 0, an empty object 1).
unsigned depthOf(const Value& value)
{
    unsigned deepest = 0;
    std::vector<std::pair<const Value*, unsigned>> pending{{&value, 1}};
    while (!pending.empty()) {
        auto [node, depth] = pending.back();
        pending.pop_back();
        if (node->IsObject()) {
            deepest = std::max(deepest, depth);
            for (const auto& member : node->GetObject())
                pending.emplace_back(&member.value, depth + 1);
        } else if (node->IsArray()) {
            deepest = std::max(deepest, depth);
            for (const auto& element : node->GetArray())
                pending.emplace_back(&element, depth + 1);
        }
    }
    return deepest;
}

} // namespace

JSONFormatter::JSONFormatter()
{
    m_document.SetObject();
}

// The pool allocator frees in one step, so destroying the document never walks the tree.
static_assert(!JSONFormatter::Allocator::kNeedFree);

JSONFormatter::~JSONFormatter() = default;

bool JSONFormatter::parse(const std::wstring& text)
{
    Document parsed;
    // The string stream ends at the first NUL, which would silently cut the text short.
    bool ok = text.find(L'\0') == std::wstring::npos;
    if (ok) {
        auto generate = [&text](Document& handler) {
            rapidjson::GenericStringStream<Encoding> stream(text.c_str());
            rapidjson::GenericReader<Encoding, Encoding> reader;
            DepthBoundHandler bounded(handler);
            // Iterative: the parser keeps its own stack on the heap whatever the input's nesting.
            return !reader.Parse<rapidjson::kParseIterativeFlag>(stream, bounded).IsError();
        };
        parsed.Populate(generate);
        ok = parsed.IsObject();
    }
    if (!ok) {
        parsed.SetObject();
        parsed.GetAllocator().Clear();
    }
    m_document.Swap(parsed);
    return ok;
}

std::wstring JSONFormatter::serialize() const
{
    rapidjson::GenericStringBuffer<Encoding> buffer;
    rapidjson::Writer<rapidjson::GenericStringBuffer<Encoding>, Encoding, Encoding> writer(buffer);
    m_document.Accept(writer);
    return std::wstring(buffer.GetString(), buffer.GetSize() / sizeof(wchar_t));
}

const Value* JSONFormatter::findMember(const std::wstring& key) const
{
    auto it = m_document.FindMember(keyRef(key));
    return it == m_document.MemberEnd() ? nullptr : &it->value;
}

bool JSONFormatter::getString(const std::wstring& key, std::wstring& value) const
{
    const Value* member = findMember(key);
    if (!member || !member->IsString())
        return false;
    value.assign(member->GetString(), member->GetStringLength());
    return true;
}

bool JSONFormatter::getBool(const std::wstring& key, bool& value) const
{
    return readScalar(findMember(key), value, &Value::IsBool, &Value::GetBool);
}

bool JSONFormatter::getInt(const std::wstring& key, int32_t& value) const
{
    return readScalar(findMember(key), value, &Value::IsInt, &Value::GetInt);
}

bool JSONFormatter::getUInt(const std::wstring& key, uint32_t& value) const
{
    return readScalar(findMember(key), value, &Value::IsUint, &Value::GetUint);
}

bool JSONFormatter::getInt64(const std::wstring& key, int64_t& value) const
{
    return readScalar(findMember(key), value, &Value::IsInt64, &Value::GetInt64);
}

bool JSONFormatter::getUInt64(const std::wstring& key, uint64_t& value) const
{
    return readScalar(findMember(key), value, &Value::IsUint64, &Value::GetUint64);
}

bool JSONFormatter::getDouble(const std::wstring& key, double& value) const
{
    return readScalar(findMember(key), value, &Value::IsNumber, &Value::GetDouble);
}

bool JSONFormatter::getStringArray(const std::wstring& key, std::vector<std::wstring>& values) const
{
    const Value* member = findMember(key);
    if (!member)
        return true;
    if (!member->IsArray())
        return false;
    for (const auto& element : member->GetArray()) {
        if (!element.IsString())
            return false;
        values.emplace_back(element.GetString(), element.GetStringLength());
    }
    return true;
}

bool JSONFormatter::getObject(const std::wstring& key, JSONFormatter& value) const
{
    const Value* member = findMember(key);
    if (!member || !member->IsObject())
        return false;
    Document copy;
    copy.CopyFrom(*member, copy.GetAllocator());
    value.m_document.Swap(copy);
    return true;
}

bool JSONFormatter::getObjectArray(const std::wstring& key,
                                   std::vector<std::shared_ptr<JSONFormatter>>& values) const
{
    const Value* member = findMember(key);
    if (!member)
        return true;
    if (!member->IsArray())
        return false;
    for (const auto& element : member->GetArray()) {
        if (!element.IsObject())
            return false;
        auto object = std::make_shared<JSONFormatter>();
        object->m_document.CopyFrom(element, object->allocator());
        values.push_back(std::move(object));
    }
    return true;
}

void JSONFormatter::setValue(const std::wstring& key, Value& value)
{
    m_document.RemoveMember(keyRef(key));
    Value name(key.c_str(), static_cast<rapidjson::SizeType>(key.size()), allocator());
    m_document.AddMember(name, value, allocator());
}

void JSONFormatter::setString(const std::wstring& key, const std::wstring& value)
{
    Value v(value.c_str(), static_cast<rapidjson::SizeType>(value.size()), allocator());
    setValue(key, v);
}

void JSONFormatter::setBool(const std::wstring& key, bool value)
{
    Value v(value);
    setValue(key, v);
}

void JSONFormatter::setInt(const std::wstring& key, int32_t value)
{
    Value v(value);
    setValue(key, v);
}

void JSONFormatter::setUInt(const std::wstring& key, uint32_t value)
{
    Value v(value);
    setValue(key, v);
}

void JSONFormatter::setInt64(const std::wstring& key, int64_t value)
{
    Value v(value);
    setValue(key, v);
}

void JSONFormatter::setUInt64(const std::wstring& key, uint64_t value)
{
    Value v(value);
    setValue(key, v);
}

void JSONFormatter::setDouble(const std::wstring& key, double value)
{
    Value v(value);
    setValue(key, v);
}

void JSONFormatter::setStringArray(const std::wstring& key, const std::vector<std::wstring>& values)
{
    Value array(rapidjson::kArrayType);
    for (const auto& text : values)
        array.PushBack(Value(text.c_str(), static_cast<rapidjson::SizeType>(text.size()), allocator()), allocator());
    setValue(key, array);
}

Value* JSONFormatter::findArrayMember(const std::wstring& key)
{
    auto it = m_document.FindMember(keyRef(key));
    if (it == m_document.MemberEnd()) {
        Value array(rapidjson::kArrayType);
        setValue(key, array);
        it = m_document.FindMember(keyRef(key));
    }
    return it->value.IsArray() ? &it->value : nullptr;
}

void JSONFormatter::appendString(const std::wstring& key, const std::wstring& value)
{
    if (Value* array = findArrayMember(key))
        array->PushBack(Value(value.c_str(), static_cast<rapidjson::SizeType>(value.size()), allocator()), allocator());
}

void JSONFormatter::setObject(const std::wstring& key, const JSONFormatter& value)
{
    // The copy sits one level below the root.
    if (depthOf(value.m_document) + 1 > kMaxDepth)
        return;
    Value copy(value.m_document, allocator());
    setValue(key, copy);
}

void JSONFormatter::setObjectArray(const std::wstring& key, const std::vector<std::shared_ptr<JSONFormatter>>& values)
{
    Value array(rapidjson::kArrayType);
    for (const auto& object : values) {
        if (!object)
            continue;
        // Each object sits two levels below the root: in the array, in the member.
        if (depthOf(object->m_document) + 2 > kMaxDepth)
            return;
        array.PushBack(Value(object->m_document, allocator()), allocator());
    }
    setValue(key, array);
}

void JSONFormatter::appendObject(const std::wstring& key, const JSONFormatter& value)
{
    if (depthOf(value.m_document) + 2 > kMaxDepth)
        return;
    // Copied before the array is touched: value may be this very formatter.
    Value copy(value.m_document, allocator());
    if (Value* array = findArrayMember(key))
        array->PushBack(copy, allocator());
}

} // namespace Tessel
