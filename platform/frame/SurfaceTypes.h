#pragma once
// Survey classes of the framework's surfaces.
namespace SurfaceTypes {

// IHO S-44 survey orders, numbered as the CUBE engine takes them.
enum IHOS44Order {
    IHO_SPECIAL = 0,
    IHO_ORDER_1 = 1,
    IHO_ORDER_2 = 2,
    IHO_ORDER_3 = 3
};

}  // namespace SurfaceTypes
