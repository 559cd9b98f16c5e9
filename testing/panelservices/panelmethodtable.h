#pragma once

// A panel's RPC method table on a FakePanelService: each method checks the
// call's argument count, the type name of every argument and that each value
// reads to its last byte (a call that fails is answered "ArgsLess" and noted
// in rejections()), then answers with its scripted result, or on demand with
// a wrong type name, a result one field short, no method at all, or silence.
//
//   Fake::FakePanelService panel("127.0.0.1");
//   Fake::PanelMethodTable table(panel, Fake::PanelMethodTable::deviceMethods());
//   table.setResult("Get_Wifi_WorkMode", Fake::WireWriter().i32(1).take());
//
// Value layouts by type name: i a 32-bit integer, b a bool byte, d an 8-byte
// double, s a u32 length and bytes; records are their fields in order;
// "std::vector<std::string>" and "std::vector<std::pair<std::string, int>>"
// a u32 count and their elements.

#include "testing/fakepanel/fakepanelservice.h"
#include "testing/fakepanel/wirewriter.h"

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace Fake {

enum class PanelAnswer { Right, WrongType, Short, Unregistered, Silent };

struct PanelMethodSpec {
    std::string name;
    std::vector<std::string> argTypes;
    std::string resultType;
};

// One argument of an accepted call: its type name and its value bytes.
struct PanelArg {
    std::string type;
    std::vector<uint8_t> value;

    int32_t integer() const;  // an "int" value
    bool boolean() const;     // a "bool" value
    std::string text() const; // an "FF::utils::String" value
};

class PanelMethodTable {
public:
    // Makes the result value bytes of a call from its accepted arguments.
    using Responder = std::function<std::vector<uint8_t>(const std::vector<PanelArg>& args)>;

    // Registers every method on service. The table may go while a call is
    // in the service's hands (its methods are removed, and what the call
    // uses lives until it ends); a responder must outlive its calls.
    PanelMethodTable(FakePanelService& service, std::vector<PanelMethodSpec> methods);
    ~PanelMethodTable();
    PanelMethodTable(const PanelMethodTable&) = delete;
    PanelMethodTable& operator=(const PanelMethodTable&) = delete;

    // The device service's methods as the call stubs use them.
    static std::vector<PanelMethodSpec> deviceMethods();
    // Port 9059: "reloadData", "getICCID".
    static std::vector<PanelMethodSpec> sessionMethods();
    // Port 9009: identity, VPN, bridge and server-address methods.
    static std::vector<PanelMethodSpec> serviceMethods();
    // Field layout of a type name (see above); empty for an unknown name.
    static std::string layoutOf(const std::string& typeName);

    // The result's value bytes (type name added by the table); each method
    // starts with a zero / empty value of its result layout.
    void setResult(const std::string& method, std::vector<uint8_t> value);
    void setResponder(const std::string& method, Responder responder);
    // WrongType answers wrongTypeName, or by default "int" for "bool" and the
    // right name without its last character for everything else.
    void setAnswer(const std::string& method, PanelAnswer answer, const std::string& wrongTypeName = {});

    // Accepted calls of method, their arguments in order.
    std::vector<std::vector<PanelArg>> argsOf(const std::string& method) const;
    // Why calls were refused.
    std::vector<std::string> rejections() const;

private:
    struct Entry {
        PanelMethodSpec spec;
        std::vector<uint8_t> result;
        Responder responder;
        PanelAnswer answer = PanelAnswer::Right;
        std::string wrongTypeName;
        std::vector<std::vector<PanelArg>> accepted;
    };

    // What the calls use, shared by the table and every method it registered.
    struct Calls {
        mutable std::mutex mutex;
        std::map<std::string, Entry> entries;
        std::vector<std::string> rejections;

        void serve(const std::string& name, MethodArgs& args, MethodResult& result);
    };

    void registerMethod(const std::string& name);

    FakePanelService& m_service;
    const std::shared_ptr<Calls> m_calls = std::make_shared<Calls>();
};

// The plain bytes of a value of layout, one field short: a record loses its
// last field, a single value its last byte.
std::vector<uint8_t> dropLastField(const std::string& layout, const std::vector<uint8_t>& value);

} // namespace Fake
