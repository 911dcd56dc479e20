#include "objects/standard_objects.h"

#include "canopen/cia_objects.h"

namespace objects {

eds_document standard_objects()
{
    eds_document d;
    for (const canopen::cia_object &o : canopen::cia_objects()) {
        od_object object;
        object.index = o.index;
        object.object_type = o.object_type;
        object.name = QString::fromLatin1(o.en);
        for (const canopen::cia_entry &r : canopen::cia_entries()) {
            if (r.index != o.index)
                continue;
            od_entry e;
            e.index = r.index;
            e.sub = r.sub;
            e.name = canopen::entry_name_en(r);
            e.type = static_cast<uint16_t>(r.type);
            e.access = QString::fromLatin1(r.access);
            e.default_value = QString::fromLatin1(r.default_value);
            e.low_limit = QString::fromLatin1(r.low);
            e.high_limit = QString::fromLatin1(r.high);
            e.pdo_mapping = r.pdo;
            object.entries.push_back(e);
        }
        d.objects.push_back(object);
    }
    return d;
}

}  // namespace objects
