#include "Json.h"

#include <json-glib/json-glib.h>

#include <memory>

namespace testsupport {

namespace {

using platform::PropertyList;

PropertyList fromNode(JsonNode* node) {
    switch (json_node_get_node_type(node)) {
    case JSON_NODE_NULL:
        return PropertyList();
    case JSON_NODE_ARRAY: {
        PropertyList list = PropertyList::array();
        JsonArray* array = json_node_get_array(node);
        for (guint i = 0; i < json_array_get_length(array); ++i) list.append(fromNode(json_array_get_element(array, i)));
        return list;
    }
    case JSON_NODE_OBJECT: {
        PropertyList dictionary = PropertyList::dictionary();
        JsonObject* object = json_node_get_object(node);
        JsonObjectIter iter;
        const char* name;
        JsonNode* member;
        json_object_iter_init(&iter, object);
        while (json_object_iter_next(&iter, &name, &member)) dictionary.set(name, fromNode(member));
        return dictionary;
    }
    case JSON_NODE_VALUE:
        switch (json_node_get_value_type(node)) {
        case G_TYPE_BOOLEAN:
            return PropertyList(bool(json_node_get_boolean(node)));
        case G_TYPE_INT64:
            return PropertyList(int64_t(json_node_get_int(node)));
        case G_TYPE_DOUBLE:
            return PropertyList(json_node_get_double(node));
        case G_TYPE_STRING:
            return PropertyList(std::string(json_node_get_string(node)));
        default:
            return PropertyList();
        }
    }
    return PropertyList();
}

JsonNode* toNode(const PropertyList& value) {
    JsonNode* node = nullptr;
    switch (value.type()) {
    case PropertyList::Type::boolean:
        node = json_node_init_boolean(json_node_alloc(), *value.asBool());
        break;
    case PropertyList::Type::integer:
        node = json_node_init_int(json_node_alloc(), *value.asInt());
        break;
    case PropertyList::Type::real:
        node = json_node_init_double(json_node_alloc(), *value.asReal());
        break;
    case PropertyList::Type::string:
        node = json_node_init_string(json_node_alloc(), value.asString()->c_str());
        break;
    case PropertyList::Type::array: {
        JsonArray* array = json_array_new();
        for (const auto& element : *value.asArray()) json_array_add_element(array, toNode(element));
        node = json_node_init_array(json_node_alloc(), array);
        json_array_unref(array);
        break;
    }
    case PropertyList::Type::dictionary: {
        JsonObject* object = json_object_new();
        for (const auto& [key, element] : *value.asDictionary()) json_object_set_member(object, key.c_str(), toNode(element));
        node = json_node_init_object(json_node_alloc(), object);
        json_object_unref(object);
        break;
    }
    default:
        node = json_node_init_null(json_node_alloc());
        break;
    }
    return node;
}

std::string generate(JsonNode* node) {
    std::unique_ptr<JsonGenerator, decltype(&g_object_unref)> generator(json_generator_new(), &g_object_unref);
    json_generator_set_root(generator.get(), node);
    gchar* text = json_generator_to_data(generator.get(), nullptr);
    std::string result(text ? text : "null");
    g_free(text);
    return result;
}

}  // namespace

std::optional<PropertyList> parseJSON(std::string_view text, std::string* error) {
    std::unique_ptr<JsonParser, decltype(&g_object_unref)> parser(json_parser_new(), &g_object_unref);
    GError* failure = nullptr;
    if (!json_parser_load_from_data(parser.get(), text.data(), gssize(text.size()), &failure)) {
        if (error) *error = failure ? failure->message : "not JSON";
        g_clear_error(&failure);
        return std::nullopt;
    }
    JsonNode* root = json_parser_get_root(parser.get());
    return root ? fromNode(root) : PropertyList();
}

std::string toJSON(const PropertyList& value) {
    JsonNode* node = toNode(value);
    std::string text = generate(node);
    json_node_unref(node);
    return text;
}

std::string jsonString(std::string_view text) {
    return toJSON(PropertyList(std::string(text)));
}

}  // namespace testsupport
