/** @odoo-module **/
// Types the simple spell of 张三 into the Contacts search, as a user would,
// and checks that the list shows 张三 and no one else.
import { registry } from "@web/core/registry";

registry.category("web_tour.tours").add("lumq_spell_search_by_pinyin", {
    test: true,
    url: "/web#action=contacts.action_contacts&view_type=list",
    steps: () => [
        {
            content: "Wait for the contacts' list",
            trigger: ".o_list_view .o_data_row",
            run() {},
        },
        {
            content: "Type zs into the search",
            trigger: ".o_searchview_input",
            run: "text zs",
        },
        {
            content: "Search the contacts' names for it",
            trigger: ".o_searchview_autocomplete .o_menu_item:first",
            run: "click",
        },
        {
            content: "The list shows 张三 and no one else",
            trigger: ".o_list_view:not(:has(.o_data_row:not(:contains(张三)))) .o_data_row:contains(张三)",
            run() {
                const rows = document.querySelectorAll(".o_list_view .o_data_row");
                if (rows.length !== 1) {
                    throw new Error(`typing zs lists ${rows.length} contacts, not 张三 alone`);
                }
            },
        },
    ],
});
