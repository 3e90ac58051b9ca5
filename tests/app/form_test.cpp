// The form table: every control placed once, every holder opened before what it holds, and
// what a holder holds inside it.
#include <gtest/gtest.h>

#include <map>

#include "app/Unit1.h"
#include "app/form.h"
#include "app/value_formats.h"
#include "module/page_polls.h"

namespace {

// The holders' sizes, from the entries that open them (pages: the page control's inside).
std::map<FormHolder, FormRect> holder_rects()
{
    std::map<FormHolder, FormRect> rects{{FormHolder::window, {0, 0, form_client_width, form_client_height}}};
    for (const FormControl& c : form_controls())
        if (c.holder) rects[*c.holder] = c.kind == FormKind::page ? FormRect{0, 0, 536, 306} : c.rect;
    return rects;
}

TEST(Form, PlacesEveryControlOnceInsideAHolderOpenedBeforeIt)
{
    std::map<Control, int> placed;
    std::map<FormHolder, FormRect> opened{{FormHolder::window, {0, 0, form_client_width, form_client_height}}};
    const auto sizes = holder_rects();
    for (const FormControl& c : form_controls()) {
        ASSERT_TRUE(opened.count(c.parent)) << "holder opened after a control it holds: " << c.text;
        if (c.holder) opened[*c.holder] = c.rect;
        if (c.name) ++placed[*c.name];
        if (c.partner) ++placed[*c.partner];
        if (c.kind == FormKind::timer || c.kind == FormKind::page) continue;
        const FormRect holder = sizes.at(c.parent);
        const FormRowParts parts = form_row_parts(c);
        for (const FormRect& r : {parts.caption, parts.first, parts.second}) {
            if (r.w == 0) continue;
            EXPECT_TRUE(r.x >= 0 && r.y >= 0 && r.right() <= holder.w && r.y + r.h <= holder.h)
                << c.text << " at " << r.x << "," << r.y << " leaves its holder";
        }
    }
    for (std::size_t i = 0; i < control_count; ++i) {
        const auto c = static_cast<Control>(i);
        if (c == Control::MainForm) continue;  // the window itself
        EXPECT_EQ(placed[c], 1) << control_name(c);
    }
}

TEST(Form, EachPolledPageHasARowPerPolledRegisterCaptionedWithItsAddress)
{
    // The status monitor shows reading i in row i of the page: a page has one value row per
    // register it polls, and a caption that names an address names that row's register.
    for (const PagePolls& p : polled_pages) {
        const FormHolder page = p.poll == TickPoll::controller ? FormHolder::ea_cnc : holder_of(static_cast<Page>(p.page));
        std::vector<FormControl> rows;
        for (const FormKind kind : {FormKind::register_row, FormKind::counter_row, FormKind::dac_row})
            for (const FormControl& row : form_rows(kind, page)) rows.push_back(row);
        ASSERT_EQ(rows.size(), p.registers.size()) << p.name;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const std::string caption = rows[i].text;
            if (caption.find_first_of("0123456789") == std::string::npos) continue;  // "Выход", "Вход"
            EXPECT_NE(caption.find(word_to_oct6_text(p.registers[i])), std::string::npos) << p.name << ": " << caption;
        }
    }
    // The controller's words, captioned by the registers they stand for.
    const auto words = form_rows(FormKind::register_row, FormHolder::ea_inputs);
    const auto outputs = form_rows(FormKind::register_row, FormHolder::ea_outputs);
    ASSERT_EQ(words.size(), std::size(controller_input_words));
    ASSERT_EQ(outputs.size(), std::size(controller_output_words));
    for (std::size_t i = 0; i < words.size(); ++i) EXPECT_EQ(words[i].text, word_to_oct6_text(controller_input_words[i]));
    for (std::size_t i = 0; i < outputs.size(); ++i)
        EXPECT_EQ(outputs[i].text, word_to_oct6_text(controller_output_words[i]));
}

TEST(Form, RowsOfAFrameComeInTableOrderWithTheirRegisters)
{
    const auto rows = form_rows(FormKind::register_row, holder_of(page_ke_bfos));
    ASSERT_EQ(rows.size(), 6u);  // four inputs, then two outputs, both groups of the page
    EXPECT_STREQ(rows[0].text, "170461");
    EXPECT_EQ(*rows[4].name, Control::StaticText33);
    EXPECT_EQ(*rows[4].partner, Control::StaticText39);
    EXPECT_STREQ(form_rows(FormKind::register_row, FormHolder::ea_cnc)[1].text, "Вход");
    EXPECT_TRUE(holder_within(FormHolder::ke_outputs, holder_of(page_ke_bfos)));
    // The pages come in the order of the page numbers the logic switches on.
    int index = 0;
    for (const FormControl& c : form_controls()) {
        if (c.kind != FormKind::page) continue;
        EXPECT_EQ(static_cast<int>(*c.holder) - static_cast<int>(holder_of(page_config)), index++) << c.text;
    }
    EXPECT_EQ(index, page_network + 1);
    EXPECT_FALSE(holder_within(FormHolder::ke_outputs, holder_of(page_ea)));
}

}  // namespace
