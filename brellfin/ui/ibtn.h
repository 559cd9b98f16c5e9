// Marks the tool's three button classes; never called through.
#pragma once

class IBtn {
public:
    virtual ~IBtn() = default;
};
