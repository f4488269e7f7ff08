/** @odoo-module **/
// List and kanban views show the letter bar when their arch asks for it
// (see hasSpellNavbar).  The controllers' templates put it in a slot of the
// Layout, between the control panel and the records; the component comes
// from a getter of the controller, so that views that extend these
// controllers show it too.

import { patch } from "@web/core/utils/patch";
import { KanbanController } from "@web/views/kanban/kanban_controller";
import { ListController } from "@web/views/list/list_controller";
import { SpellNavbar, hasLetterCounts, hasSpellNavbar } from "./spell_navbar";

const navbarGetter = {
    /** The navbar component, or null when the view does not show it. */
    get lumqSpellNavbar() {
        if (!this.env.searchModel || !hasSpellNavbar(this.props.arch, this.props.fields)) {
            return null;
        }
        return SpellNavbar;
    },

    /** Whether the view's letter bar counts the records of each letter. */
    get lumqSpellLetterCounts() {
        return hasLetterCounts(this.props.arch);
    },

    /** The view's records as last loaded. */
    get lumqSpellRoot() {
        return this.model.root;
    },

    /** The most records that the view's pager counts: its arch may say, and
     * it counts at least a page (all, once the user has asked for it). */
    get lumqSpellCountLimit() {
        return this.model.root?.config.countLimit || this.model.initialCountLimit;
    },
};

patch(ListController.prototype, navbarGetter);
patch(KanbanController.prototype, navbarGetter);
