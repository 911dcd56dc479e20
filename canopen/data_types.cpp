#include "canopen/data_types.h"

#include "base/hex.h"

namespace canopen {
namespace {

struct type_info {
    data_type type;
    const char *name;
    int size;
};

constexpr type_info type_table[] = {
    {data_type::boolean, "BOOLEAN", 1},         {data_type::integer8, "INTEGER8", 1},
    {data_type::integer16, "INTEGER16", 2},     {data_type::integer32, "INTEGER32", 4},
    {data_type::integer64, "INTEGER64", 8},     {data_type::unsigned8, "UNSIGNED8", 1},
    {data_type::unsigned16, "UNSIGNED16", 2},   {data_type::unsigned32, "UNSIGNED32", 4},
    {data_type::unsigned64, "UNSIGNED64", 8},   {data_type::real32, "REAL32", 4},
    {data_type::real64, "REAL64", 8},           {data_type::visible_string, "VISIBLE_STRING", 0},
    {data_type::octet_string, "OCTET_STRING", 0}, {data_type::domain, "DOMAIN", 0},
};

const type_info *info(uint16_t code)
{
    for (const type_info &t : type_table)
        if (static_cast<uint16_t>(t.type) == code)
            return &t;
    return nullptr;
}

}  // namespace

bool is_known_type(uint16_t code) { return info(code) != nullptr; }

QString type_name(uint16_t code)
{
    if (const type_info *t = info(code))
        return QString::fromLatin1(t->name);
    return hex::prefixed(code, 4);
}

bool type_from_name(const QString &name, data_type *type)
{
    for (const type_info &t : type_table)
        if (name.compare(QLatin1String(t.name), Qt::CaseInsensitive) == 0) {
            *type = t.type;
            return true;
        }
    return false;
}

int type_size(uint16_t code)
{
    const type_info *t = info(code);
    return t ? t->size : 0;
}

bool is_signed_integer(uint16_t code)
{
    const auto t = static_cast<data_type>(code);
    return t == data_type::integer8 || t == data_type::integer16 || t == data_type::integer32 || t == data_type::integer64;
}

bool is_unsigned_integer(uint16_t code)
{
    const auto t = static_cast<data_type>(code);
    return t == data_type::unsigned8 || t == data_type::unsigned16 || t == data_type::unsigned32 || t == data_type::unsigned64;
}

bool is_real(uint16_t code)
{
    return code == static_cast<uint16_t>(data_type::real32) || code == static_cast<uint16_t>(data_type::real64);
}

}  // namespace canopen
