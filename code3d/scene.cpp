// Scene object list, name lookup and the two-pass draw.
#include "scene.h"

#include "Material.h"
#include "memory/MemoryTracker.h"
#include "object.h"

Scene::Scene() : objects(nullptr), objectCount(0), objectCapacity(0) {}

Scene::~Scene() {
    // Only the array: the objects belong to the effect.
    if (objects) KAVLO_DELETE_ARRAY(objects);
}

void Scene::Add(Object* object) {
    if (objectCount == objectCapacity) {
        const int newCapacity = objectCapacity ? objectCapacity * 2 : 4;
        Object** grown = KAVLO_NEW_ARRAY(Object*, newCapacity);
        for (int i = 0; i < objectCount; ++i) grown[i] = objects[i];
        if (objects) KAVLO_DELETE_ARRAY(objects);
        objects = grown;
        objectCapacity = newCapacity;
    }
    objects[objectCount++] = object;
}

Object* Scene::FindObject(const char* name) const {
    for (int i = 0; i < objectCount; ++i)
        if (objects[i] && objects[i]->HasName(name)) return objects[i];
    return nullptr;
}

void Scene::Render() {
    for (int i = 0; i < objectCount; ++i) {
        Object* o = objects[i];
        if (o && o->material && !o->material->IsBlended()) o->Render();
    }
    for (int i = 0; i < objectCount; ++i) {
        Object* o = objects[i];
        if (o && o->material && o->material->IsBlended()) o->Render();
    }
}
