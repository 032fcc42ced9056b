// dynamic_object.cpp: number, string and table objects for the dynamic layer.
// Members answer exactly what they were built with, nothing more.
#include "library/dynamic_object.h"

namespace reelkeep {

namespace {

class NumberObject final : public DynamicObject {
public:
    explicit NumberObject(double value) : m_value(value) {}
    bool respondsTo(std::string_view) const override { return false; }
    std::optional<DynamicMethod> instanceMethod(std::string_view) const override { return std::nullopt; }
    std::optional<double> numberValue() const override { return m_value; }

private:
    double m_value;
};

class StringObject final : public DynamicObject {
public:
    explicit StringObject(QString text) : m_text(std::move(text)) {}
    bool respondsTo(std::string_view) const override { return false; }
    std::optional<DynamicMethod> instanceMethod(std::string_view) const override { return std::nullopt; }
    std::optional<QString> stringValue() const override { return m_text; }

private:
    QString m_text;
};

QByteArray encodingFor(char typeCode) {
    return QByteArray(1, typeCode) + "16@0:8";
}

}  // namespace

DynamicMember DynamicMember::integer(char typeCode, std::uint64_t rawBits) {
    return {true, DynamicMethod{encodingFor(typeCode), [rawBits] { return DynamicValue{rawBits}; }}};
}

DynamicMember DynamicMember::real(double value) {
    return {true, DynamicMethod{encodingFor('d'), [value] { return DynamicValue{value}; }}};
}

DynamicMember DynamicMember::realFloat(float value) {
    return {true, DynamicMethod{encodingFor('f'), [value] { return DynamicValue{value}; }}};
}

DynamicMember DynamicMember::object(ObjectRef value) {
    return {true, DynamicMethod{encodingFor('@'), [value] { return DynamicValue{value}; }}};
}

ObjectRef makeNumberObject(double value) {
    return std::make_shared<NumberObject>(value);
}
ObjectRef makeStringObject(QString text) {
    return std::make_shared<StringObject>(std::move(text));
}

void MemberTableObject::setMember(std::string name, DynamicMember member) {
    for (auto& [existing, value] : m_members) {
        if (existing == name) {
            value = std::move(member);
            return;
        }
    }
    m_members.emplace_back(std::move(name), std::move(member));
}

const DynamicMember* MemberTableObject::find(std::string_view selector) const {
    for (const auto& [name, member] : m_members)
        if (name == selector) return &member;
    return nullptr;
}

bool MemberTableObject::respondsTo(std::string_view selector) const {
    const DynamicMember* member = find(selector);
    return member && member->responds;
}

std::optional<DynamicMethod> MemberTableObject::instanceMethod(std::string_view selector) const {
    const DynamicMember* member = find(selector);
    return member ? member->method : std::nullopt;
}

}  // namespace reelkeep
