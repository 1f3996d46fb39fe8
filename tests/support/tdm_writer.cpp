#include "tests/support/tdm_writer.h"

namespace testsupport::tdm {
namespace {

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string Element(const std::string& name, const std::optional<std::string>& text) {
  return text ? "<" + name + ">" + Escape(*text) + "</" + name + ">" : "";
}

std::string Link(const std::vector<std::string>& ids) {
  std::string out = "#xpointer(";
  for (size_t i = 0; i < ids.size(); ++i) out += (i ? " id(\"" : "id(\"") + ids[i] + "\")";
  return out + ")";
}

}  // namespace

Written Build(const File& file) {
  Written w;
  std::string blocks, data, groups_xml;
  int next_id = 1;
  const auto id = [&] { return "usi" + std::to_string(next_id++); };
  const std::string root_id = id();
  std::vector<std::string> group_ids;
  int block_no = 0;
  for (const Group& g : file.groups) {
    const std::string gid = id();
    group_ids.push_back(gid);
    std::vector<std::string> channel_ids;
    for (const Channel& c : g.channels) {
      const std::string cid = id(), column = id(), sequence = id(), submatrix = id();
      channel_ids.push_back(cid);
      std::string values;
      if (c.external) {
        const std::string inc = "inc" + std::to_string(block_no++);
        const uint64_t offset = c.byte_offset.value_or(w.tdx.size());
        if (!c.byte_offset) w.tdx += c.tdx;
        blocks += "<" + c.block_element + " byteOffset=\"" + std::to_string(offset) + "\" id=\"" +
                  inc + "\" length=\"" + std::to_string(c.length) + "\" valueType=\"" +
                  c.value_type + "\"/>\n";
        values = "<values external=\"" + inc + "\"/>";
      } else {
        values = "<values>" + c.inline_values + "</values>";
      }
      data += "<" + c.sequence + " id=\"" + sequence + "\">" + values + "</" + c.sequence + ">\n";
      data += "<tdm_channel id=\"" + cid + "\"><name>" + Escape(c.name) + "</name>" +
              Element("description", c.description) + Element("unit_string", c.unit) +
              "<datatype>" + c.datatype + "</datatype>" + Element("minimum", c.minimum) +
              Element("maximum", c.maximum) + "<group>" + Link({gid}) + "</group>" +
              "<local_columns>" + Link({column}) + "</local_columns>" +
              (c.attributes.empty() ? "" : "<instance_attributes>" + c.attributes + "</instance_attributes>") +
              "</tdm_channel>\n";
      data += "<localcolumn id=\"" + column + "\"><measurement_quantity>" + Link({cid}) +
              "</measurement_quantity>" +
              (c.rows ? "<submatrix>" + Link({submatrix}) + "</submatrix>" : "") +
              "<global_flag>15</global_flag><independent>0</independent>"
              "<sequence_representation>" + c.representation + "</sequence_representation>" +
              (c.generation_parameters.empty() ? "" : "<generation_parameters>" + c.generation_parameters + "</generation_parameters>") +
              "<values>" + Link({sequence}) + "</values></localcolumn>\n";
      if (c.rows)
        data += "<submatrix id=\"" + submatrix + "\"><number_of_rows>" + std::to_string(*c.rows) +
                "</number_of_rows></submatrix>\n";
    }
    groups_xml += "<tdm_channelgroup id=\"" + gid + "\"><name>" + Escape(g.name) + "</name>" +
                  Element("description", g.description) + "<root>" + Link({root_id}) + "</root>" +
                  (g.attributes.empty() ? "" : "<instance_attributes>" + g.attributes + "</instance_attributes>") +
                  "<channels>" + Link(channel_ids) + "</channels></tdm_channelgroup>\n";
  }
  w.xml = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\" ?>\n"
          "<usi:tdm xmlns:usi=\"http://www.ni.com/Schemas/USI/1_0\" version=\"1.0\">\n"
          "<usi:documentation><usi:exporter>tests</usi:exporter></usi:documentation>\n";
  if (file.include)
    w.xml += "<usi:include><file byteOrder=\"" +
             std::string(file.big_endian ? "bigEndian" : "littleEndian") + "\" url=\"" +
             Escape(file.tdx_url) + "\">\n" + blocks + "</file></usi:include>\n";
  w.xml += "<usi:data>\n" + data + "<tdm_root id=\"" + root_id + "\">" +
           Element("name", file.name) + Element("description", file.description) +
           Element("title", file.title) + Element("author", file.author) +
           Element("datetime", file.datetime) +
           (file.attributes.empty() ? "" : "<instance_attributes>" + file.attributes + "</instance_attributes>") +
           "<channelgroups>" + Link(group_ids) + "</channelgroups></tdm_root>\n" + groups_xml +
           "</usi:data>\n</usi:tdm>\n";
  return w;
}

}  // namespace testsupport::tdm
