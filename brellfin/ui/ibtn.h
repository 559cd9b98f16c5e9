#pragma once

// Marks the tool's three button classes; never called through.

class IBtn {
public:
    virtual ~IBtn() = default;
};
