// dynamic_object.h: a small dynamic-object layer for reading undocumented asset
// members by name. An object may answer "responds to" without having a method, a
// method may lack an encoding or a body; readers must survive all of it.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace reelkeep {

class DynamicObject;
using ObjectRef = std::shared_ptr<const DynamicObject>;  // null stands for nil

// What a method hands back: the raw 64-bit integer register (junk above the
// encoded width is possible), a double, a float, or an object.
using DynamicValue = std::variant<std::uint64_t, double, float, ObjectRef>;

struct DynamicMethod {
    // Runtime type encoding, return type first ("q16@0:8"); may be empty.
    QByteArray typeEncoding;
    // May be empty: a method entry without an implementation.
    std::function<DynamicValue()> implementation;
};

class DynamicObject {
public:
    virtual ~DynamicObject() = default;
    virtual bool respondsTo(std::string_view selector) const = 0;
    virtual std::optional<DynamicMethod> instanceMethod(std::string_view selector) const = 0;
    // A number object's value as a double; nothing for other objects.
    virtual std::optional<double> numberValue() const { return std::nullopt; }
    // A string object's text; nothing for other objects.
    virtual std::optional<QString> stringValue() const { return std::nullopt; }
};

// One member as an object presents it: whether it claims to respond, and the
// method the lookup finds (none for a forwarding object).
struct DynamicMember {
    bool responds = true;
    std::optional<DynamicMethod> method;

    static DynamicMember integer(char typeCode, std::uint64_t rawBits);
    static DynamicMember real(double value);
    static DynamicMember realFloat(float value);
    static DynamicMember object(ObjectRef value);
    static DynamicMember forwardingOnly() { return DynamicMember{true, std::nullopt}; }
};

ObjectRef makeNumberObject(double value);
ObjectRef makeStringObject(QString text);

// An object whose members come from a table; used for metadata objects and to
// build odd objects in tests.
class MemberTableObject : public DynamicObject {
public:
    MemberTableObject() = default;
    explicit MemberTableObject(std::vector<std::pair<std::string, DynamicMember>> members)
        : m_members(std::move(members)) {}

    void setMember(std::string name, DynamicMember member);
    bool respondsTo(std::string_view selector) const override;
    std::optional<DynamicMethod> instanceMethod(std::string_view selector) const override;

private:
    const DynamicMember* find(std::string_view selector) const;
    std::vector<std::pair<std::string, DynamicMember>> m_members;
};

}  // namespace reelkeep
