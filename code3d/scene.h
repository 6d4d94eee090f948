// The list of mesh objects an effect loaded from one 3DS file, with name lookup and
// the two-pass draw (opaque first, blended last).
#pragma once

class Object;

// Holds borrowed pointers: the scene never deletes its objects. The effect that
// loaded it deletes each object it looked up, then the scene.
class Scene {
public:
    Scene();
    virtual ~Scene();

    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;

    // Appends at the end; order is kept.
    void Add(Object* object);
    // First object in list order whose name equals `name` exactly; null if none.
    Object* FindObject(const char* name) const;
    // Objects whose material has neither kind 5 nor 6, in list order, then those that
    // have either, in list order. Objects without a material are passed over.
    void Render();

    int ObjectCount() const { return objectCount; }
    Object* ObjectAt(int index) const {
        return index >= 0 && index < objectCount ? objects[index] : nullptr;
    }

protected:
    Object** objects;
    int objectCount;
    int objectCapacity;
};
